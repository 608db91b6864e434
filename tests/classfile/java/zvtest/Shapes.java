// Interfaces, enums, constructors and inner classes for the class-file tests.
package zvtest;

import java.util.ArrayList;
import java.util.List;

public class Shapes {
    public interface Shape {
        double area();

        default String describe() {
            return "shape with area " + area();
        }
    }

    public enum Color {
        RED, GREEN, BLUE;

        Color next() {
            return values()[(ordinal() + 1) % values().length];
        }
    }

    static final class Circle implements Shape {
        private final double radius;

        Circle(double radius) {
            this.radius = radius;
        }

        Circle() {
            this(1.0);
        }

        public double area() {
            return Math.PI * radius * radius;
        }
    }

    final class Square implements Shape {
        private final double side;

        Square(double side) {
            this.side = side;
        }

        public double area() {
            return side * side * scale;
        }
    }

    private double scale = 1.0;
    private final List<Shape> shapes = new ArrayList<>();
    static int created;

    static {
        created = 0;
    }

    public Shapes() {
        created++;
    }

    public Shapes(double scale) {
        this();
        this.scale = scale;
    }

    public void addDefaults() {
        shapes.add(new Circle());
        shapes.add(new Square(2));
        shapes.add(new Shape() {
            public double area() {
                return 42;
            }
        });
    }

    public double total() {
        double sum = 0;
        for (Shape shape : shapes) sum += shape.area();
        return sum;
    }
}
