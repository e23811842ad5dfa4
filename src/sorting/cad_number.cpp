#include "sorting/cad_number.h"

#include <vector>

#include "sorting/output_rules.h"

namespace sorting {

void TCadNumber::SetCadNumber(std::string_view text) {
  std::vector<std::string> parts;
  SplitString(':', text, parts);
  if (parts.size() >= 1) Region = parts[0];
  if (parts.size() >= 2) District = parts[1];
  if (parts.size() >= 3) Block = FormatBlockNumber(parts[2]);
  if (parts.size() >= 4) Parcel = parts[3];
}

}  // namespace sorting
