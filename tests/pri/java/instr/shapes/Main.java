package shapes;

public final class Main {
    public static void main(String[] args) {
        System.out.println(Shapes.tiny(3, 4) + " " + Shapes.straight24(1) + " " + Shapes.straight25(1));
        System.out.println(new Shapes().callsOnce() + " " + Shapes.twoReturns(5) + " " + Shapes.twoReturns(-7));
        try {
            Shapes.onlyThrows();
        } catch (IllegalStateException e) {
            System.out.println(e.getMessage());
        }
        try {
            Shapes.endless(50);
        } catch (ArithmeticException e) {
            System.out.println(e.getMessage());
        }
        System.out.println(Shapes.loopsBackToStart(10) + " " + Shapes.switches(1) + " " + Shapes.switches(100)
                + " " + Shapes.switches(7) + " " + new Shapes().locked(9) + " " + Big.big(3));
        System.out.println(Built.all());
    }
}
