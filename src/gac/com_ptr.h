// The owner of one reference to an assembly-cache interface: Release on every way out of the
// scope that holds it, and put() releases the old pointer before an out-parameter call can
// overwrite it.
#pragma once

#include "platform/unique_handle.h"

template <typename Interface>
struct InterfaceTraits {
  static Interface* Invalid() { return nullptr; }
  static void Close(Interface* object) { (void)object->Release(); }
};

template <typename Interface>
class ComPtr : public platform::UniqueHandle<Interface*, InterfaceTraits<Interface>> {
 public:
  using platform::UniqueHandle<Interface*, InterfaceTraits<Interface>>::UniqueHandle;

  Interface* operator->() const { return this->get(); }
};
