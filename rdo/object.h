// The base of every object CreateObject makes and of the MAPI objects the utility object takes: what an
// automation client holds as an untyped object reference.
#pragma once

namespace velmora::rdo {

class Object {
 public:
  virtual ~Object() = default;
};

}  // namespace velmora::rdo
