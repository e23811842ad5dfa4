#pragma once

#include <string>
#include <string_view>

#include "cadastral/ref_object.h"

namespace sorting {

// A cadastral number split into its parts, e.g. 66:41:0101001:25.
class TCadNumber : public cadastral::TRefObject {
 public:
  std::string Region;    // first part
  std::string District;  // second part
  std::string Block;     // third part, written in pairs of characters
  std::string Parcel;    // fourth part

  // Splits strictly at ":" (blanks belong to the parts); missing parts leave
  // their fields empty and parts beyond the fourth are ignored.
  void SetCadNumber(std::string_view text);
};

}  // namespace sorting
