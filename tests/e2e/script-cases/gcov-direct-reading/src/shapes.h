#pragma once
#include <stdexcept>
#include <vector>

inline int clampTo(int value, int low, int high) {
  return value < low ? low : value > high ? high : value;
}

template <typename T>
T largest(const std::vector<T> &values) {
  if (values.empty()) throw std::invalid_argument("no values");
  T best = values[0];
  for (const T &v : values)
    if (v > best) best = v;
  return best;
}

struct Shape {
  virtual ~Shape() = default;
  virtual int area() const = 0;
};
int parseCount(const char *text);
int sumTo(int n);
