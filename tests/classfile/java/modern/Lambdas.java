// Compiled for Java 17: lambdas and string concatenation use invokedynamic
// and the MethodHandle, MethodType and InvokeDynamic constants.
public class Lambdas {
    public Runnable greeter(String name) {
        return () -> System.out.println("hello " + name);
    }
}
