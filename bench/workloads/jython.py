# Jython workload: dictionaries, string formatting, list sorting, recursion.
def fib(n):
    return n if n < 2 else fib(n - 1) + fib(n - 2)

counts = {}
for round in range(8):
    fib(21)
    for i in range(30000):
        key = "k%d" % (i * 7919 % 997)
        counts[key] = counts.get(key, 0) + 1
    numbers = sorted((j * 2654435761) % 100003 for j in range(30000))
print("keys %d" % len(counts))
