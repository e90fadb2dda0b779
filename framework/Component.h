// The component class: an object with an owner that frees it, a name and a
// tag. Not thread-safe: a component and its owner live on one thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Classes.h"

class TComponent : public TObject {
 public:
  // The owner, when given, frees this component with itself.
  explicit TComponent(TComponent* owner) : FOwner(owner) {
    if (FOwner != nullptr) FOwner->FComponents.push_back(this);
  }
  ~TComponent() override {
    while (!FComponents.empty()) delete FComponents.back();  // each unlinks itself
    if (FOwner != nullptr) FOwner->Unlink(this);
  }

  TComponent* Owner() const { return FOwner; }
  std::int32_t ComponentCount() const { return static_cast<std::int32_t>(FComponents.size()); }
  TComponent* Components(std::int32_t index) const { return FComponents.at(index); }

  std::string Name;
  std::int32_t Tag = 0;

 private:
  void Unlink(TComponent* child) {
    for (auto it = FComponents.begin(); it != FComponents.end(); ++it) {
      if (*it == child) {
        FComponents.erase(it);
        return;
      }
    }
  }

  TComponent* FOwner;
  std::vector<TComponent*> FComponents;
};
