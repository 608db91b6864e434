// Runs every editor test class and prints what it computes; the edited and
// the unedited classes must print the same. The count of inserted calls goes
// to standard error.
public class Main {
    public static void main(String[] args) throws Exception {
        Switches.run();
        Exceptions.run();
        Loops.run();
        WideLocals.run();
        Sync.run();
        Big.run();
        System.err.println("hits " + Counter.hits);
    }
}
