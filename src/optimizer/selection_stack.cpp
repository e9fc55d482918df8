#include "optimizer/selection_stack.h"

namespace zorvane::optimizer {

using coverage::TestNumber;

void SelectionStack::pushTest(TestNumber test) {
  if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.capacity() + 5);
  entries_.push_back(test);
}

TestNumber SelectionStack::popTest() {
  const TestNumber top = entries_.back();
  entries_.pop_back();
  return top;
}

}  // namespace zorvane::optimizer
