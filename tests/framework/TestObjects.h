// Objects for tests of the lists and containers.
#pragma once

#include "framework/Classes.h"

namespace kortest {

// Counts its own destruction, to see which objects a list frees.
class TTracked : public TObject {
 public:
  explicit TTracked(int* freed) : FFreed(freed) {}
  ~TTracked() override { ++*FFreed; }

 private:
  int* FFreed;
};

}  // namespace kortest

using kortest::TTracked;
