#include <cstdio>
#include <cstring>
#include <string>
#include "shapes.h"

int fromGrammar(int x);

struct Square : Shape {
  int side;
  explicit Square(int s) : side(s) {}
  int area() const override { return side * side; }
};
struct Circle : Shape {
  int r;
  explicit Circle(int r) : r(r) {}
  int area() const override { return 3 * r * r; }
};

static int never(int x) { return x * 2; }

int main(int argc, char **argv) {
  if (argc < 2) return 2;
  std::string command = argv[1];
  if (command == "count" && argc > 2) {
    std::printf("%d\n", parseCount(argv[2]));
  } else if (command == "max") {
    std::vector<int> ints;
    std::vector<double> doubles;
    for (int i = 2; i < argc; ++i) {
      ints.push_back(std::atoi(argv[i]));
      doubles.push_back(std::atof(argv[i]));
    }
    try {
      std::printf("%d %g\n", largest(ints), largest(doubles));
    } catch (const std::exception &e) {
      std::printf("error: %s\n", e.what());
      return 1;
    }
  } else if (command == "shape") {
    Shape *s = argc > 2 && std::strcmp(argv[2], "circle") == 0 ? static_cast<Shape *>(new Circle(2))
                                                               : new Square(3);
    std::printf("%d\n", s->area());
    delete s;
  } else if (command == "sum") {
    std::printf("%d %d\n", sumTo(argc > 2 ? std::atoi(argv[2]) : 3),
                fromGrammar(argc > 3 ? std::atoi(argv[3]) : 1));
  } else if (command == "abort") {
    throw std::runtime_error("uncaught");
  } else {
    return never(3) == 6 ? 3 : 4;
  }
  return 0;
}
