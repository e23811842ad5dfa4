#pragma once
// The cadastral number and the two text helpers that take it apart.

#include <string>
#include <string_view>
#include <vector>

#include "cadastral/ref_object.h"

namespace sorting {

// Writes the text in pairs of characters: 0101001 gives "01 01 00 1".
std::string FormatBlockNumber(std::string_view text);

// Replaces list by the parts of text between delimiters, strictly at the
// delimiter only. A part that begins with a double quote is read as quoted text
// (a doubled quote inside stands for one).
void SplitString(char delimiter, std::string_view text, std::vector<std::string>& list);

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
