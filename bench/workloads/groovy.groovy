// Groovy workload: closures, collections, string building, dynamic calls.
def fib
fib = { int n -> n < 2 ? n : fib(n - 1) + fib(n - 2) }
def counts = [:]
12.times {
    fib(22)
    (0..<30000).collect { "w${it * 7919 % 1000}" }.each { counts[it] = (counts[it] ?: 0) + 1 }
    (0..<30000).collect { (it * 2654435761L) % 100003 }.sort()
}
println "words ${counts.size()}"
