// Compiled for Java 17: lambdas and string concatenation use invokedynamic,
// whose constant-pool kinds the class-file model does not handle.
public class Lambdas {
    public Runnable greeter(String name) {
        return () -> System.out.println("hello " + name);
    }
}
