// tableswitch and lookupswitch at every alignment, string switches and
// switches inside loops.
public class Switches {
    static int table0(int x) {
        switch (x) {
        case 1: return 10;
        case 2: return 20;
        case 3: return 30;
        case 4: return 40;
        default: return -1;
        }
    }

    static int table1(int x) {
        int y = x + 1;
        switch (y) {
        case 1: y += 3; break;
        case 2: y *= 5; break;
        case 3: return y - 7;
        default: y = 0;
        }
        return y;
    }

    static int table2(long l, int x) {
        long m = l * 3;
        switch (x) {
        case -2: m += 1;
        case -1: m += 2;
        case 0: m += 3; break;
        case 1: m -= 4; break;
        }
        return (int) m;
    }

    static int table3(int a, int b) {
        a = a ^ b;
        switch (a & 7) {
        case 0: return a;
        case 1: return b;
        case 2: return a + b;
        case 3: return a - b;
        case 4: return a * b;
        case 5: return a | b;
        case 6: return a & b;
        default: return 99;
        }
    }

    static int lookup0(int x) {
        switch (x) {
        case -1000: return 1;
        case 7: return 2;
        case 100000: return 3;
        default: return 4;
        }
    }

    static int lookup1(int x) {
        int r = 0;
        switch (x * 2) {
        case 2000: r = 5; break;
        case -8: r = 6; break;
        case 1 << 20: r = 7;
        default: r += 8;
        }
        return r;
    }

    static int strings(String s) {
        switch (s) {
        case "alpha": return 1;
        case "beta": return 2;
        case "gamma": return 3;
        case "Aa": return 4;
        case "BB": return 5;
        default: return 0;
        }
    }

    static int loop(int n) {
        int sum = 0;
        for (int i = 0; i < n; i++) {
            switch (i % 5) {
            case 0: sum += i; continue;
            case 1: sum -= 1; break;
            case 3:
                switch (i) {
                case 3: sum += 100; break;
                case 1000: sum += 7; break;
                default: sum += 1;
                }
                break;
            default: if (sum > 50) return sum;
            }
            sum++;
        }
        return sum;
    }

    public static void run() {
        StringBuilder b = new StringBuilder("switches");
        for (int i = -3; i < 10; i++) {
            b.append(' ').append(table0(i)).append(',').append(table1(i)).append(',').append(table2(i * 7L, i - 1))
                .append(',').append(table3(i, 3)).append(',').append(lookup0(i == 2 ? -1000 : i * 50000))
                .append(',').append(lookup1(i == 0 ? -4 : i * 1000)).append(',').append(loop(i * 4));
        }
        String[] words = {"alpha", "beta", "gamma", "Aa", "BB", "delta", ""};
        for (String w : words) b.append(' ').append(strings(w));
        System.out.println(b);
    }
}
