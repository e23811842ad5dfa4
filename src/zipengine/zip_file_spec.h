#pragma once
// Include and exclude specifications of an extraction and how entry names
// match them: letter case ignored, "/" equal to "\", "*" and "?" wildcards,
// "*.*" for every entry, a specification without a folder part matched against
// the name part of entries in any folder, and "n:name" sending the entry of
// that whole name to stream n.

#include <string>
#include <string_view>
#include <vector>

namespace zipengine {

// An entry name prepared once for matching against many specifications.
struct TZipMatchName {
  explicit TZipMatchName(std::string_view name);
  std::u16string full;  // upper-cased, "\" as "/", no trailing "/"
  std::u16string part;  // the part after the last "/"
};

class TZipFileSpec {
 public:
  // With streams allowed, a leading "digits:" is the stream number.
  explicit TZipFileSpec(std::string_view spec, bool allow_stream = true);

  bool Matches(const TZipMatchName& name) const;
  bool MatchesAll() const { return all_; }
  int Stream() const { return stream_; }  // -1: no stream
  bool Empty() const { return pattern_.empty(); }

 private:
  std::u16string pattern_;
  bool has_folder_ = false;
  bool wildcard_ = false;
  bool all_ = false;
  int stream_ = -1;
};

// "*" any run of characters (folder delimiters included), "?" one character.
bool WildcardMatch(std::u16string_view pattern, std::u16string_view text);

class TZipSpecList {
 public:
  void Add(std::string_view spec, bool allow_stream) { specs_.emplace_back(spec, allow_stream); }
  bool Empty() const { return specs_.empty(); }
  bool MatchesAll() const;
  bool HasStreams() const;
  // The first matching stream specification, else the first matching other
  // one, or none.
  const TZipFileSpec* Match(const TZipMatchName& name) const;

 private:
  std::vector<TZipFileSpec> specs_;
};

}  // namespace zipengine
