// More than 256 local slots: loads, stores and iinc of the high locals need wide.
public class WideLocals {
    static long wide(int seed) {
        long v0 = 0, v1 = 1, v2 = 2, v3 = 3, v4 = 4, v5 = 5, v6 = 6, v7 = 7, v8 = 8, v9 = 9, v10 = 10, v11 = 11, v12 = 12, v13 = 13, v14 = 14, v15 = 15, v16 = 16, v17 = 17, v18 = 18, v19 = 19, v20 = 20, v21 = 21, v22 = 22, v23 = 23, v24 = 24, v25 = 25, v26 = 26, v27 = 27, v28 = 28, v29 = 29, v30 = 30, v31 = 31, v32 = 32, v33 = 33, v34 = 34, v35 = 35, v36 = 36, v37 = 37, v38 = 38, v39 = 39, v40 = 40, v41 = 41, v42 = 42, v43 = 43, v44 = 44, v45 = 45, v46 = 46, v47 = 47, v48 = 48, v49 = 49, v50 = 50, v51 = 51, v52 = 52, v53 = 53, v54 = 54, v55 = 55, v56 = 56, v57 = 57, v58 = 58, v59 = 59, v60 = 60, v61 = 61, v62 = 62, v63 = 63, v64 = 64, v65 = 65, v66 = 66, v67 = 67, v68 = 68, v69 = 69, v70 = 70, v71 = 71, v72 = 72, v73 = 73, v74 = 74, v75 = 75, v76 = 76, v77 = 77, v78 = 78, v79 = 79, v80 = 80, v81 = 81, v82 = 82, v83 = 83, v84 = 84, v85 = 85, v86 = 86, v87 = 87, v88 = 88, v89 = 89, v90 = 90, v91 = 91, v92 = 92, v93 = 93, v94 = 94, v95 = 95, v96 = 96, v97 = 97, v98 = 98, v99 = 99, v100 = 100, v101 = 101, v102 = 102, v103 = 103, v104 = 104, v105 = 105, v106 = 106, v107 = 107, v108 = 108, v109 = 109, v110 = 110, v111 = 111, v112 = 112, v113 = 113, v114 = 114, v115 = 115, v116 = 116, v117 = 117, v118 = 118, v119 = 119, v120 = 120, v121 = 121, v122 = 122, v123 = 123, v124 = 124, v125 = 125, v126 = 126, v127 = 127, v128 = 128, v129 = 129;
        int counter = seed;
        double d = seed * 0.5;
        for (int i = 0; i < 5; i++) {
            counter += 1000;
            counter++;
            v129 = v129 * 3 + counter;
            d = d * 1.25 + v128;
            switch (counter & 3) {
            case 0: v127 += 11; break;
            case 1: v126 -= 5; break;
            case 2: v125 ^= counter; break;
            default: v124 += (long) d;
            }
        }
        return v0 + v7 + v14 + v21 + v28 + v35 + v42 + v49 + v56 + v63 + v70 + v77 + v84 + v91 + v98 + v105 + v112 + v119 + v126 + v124 + v125 + v126 + v127 + v129 + counter + (long) d;
    }

    public static void run() {
        System.out.println("wide " + wide(1) + " " + wide(-7));
    }
}
