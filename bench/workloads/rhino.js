// Rhino workload: recursion, string building, object maps and sorting.
function fib(n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }
var words = {};
for (var round = 0; round < 6; round++) {
    fib(25);
    var text = [];
    for (var i = 0; i < 20000; i++) text.push("w" + (i * 7919 % 1000));
    text.join(" ").split(" ").forEach(function (w) { words[w] = (words[w] || 0) + 1; });
    var numbers = [];
    for (var j = 0; j < 40000; j++) numbers.push((j * 2654435761) % 100003);
    numbers.sort(function (a, b) { return a - b; });
}
print("words " + Object.keys(words).length + " fib " + fib(20));
