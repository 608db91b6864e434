;; Clojure workload: persistent maps, lazy sequences, sorting, recursion.
(defn fib [n] (if (< n 2) n (+ (fib (- n 1)) (fib (- n 2)))))
(dotimes [_ 10]
  (fib 25)
  (frequencies (map #(str "w" (mod (* % 7919) 1000)) (range 100000)))
  (count (sort (map #(mod (* % 2654435761) 100003) (range 100000)))))
(println "done" (fib 20))
