// Named parameters as the kestrel program handles them: read from the host's
// parameter lists (TParamList of kestrel.h), changed from what a person
// typed, shown back as text, and turned into a new TParamList for the gate.
//
// Values keep the list's own forms: enumerations, integers and Booleans as
// a scalar; a time span as its 8 bytes (a day fraction); a text as
// Windows-1251 bytes. Texts a person types or reads are UTF-8 and converted
// at this boundary. Pure functions: thread-safe, no I/O.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kestrel/kestrel.h"

namespace kestrel::app {

struct TParamValue {
  std::string name;
  std::int32_t type = PARAM_INT32;
  std::int32_t scalar = 0;  // types 1, 5, 10
  std::string bytes;        // types 21 (8 bytes) and 100 (the text)
};
using TParams = std::vector<TParamValue>;

// A copy of a list's items, in order; items the list does not own properly
// (no name, a negative size, a size without memory) are left out.
TParams ReadParamList(const TParamList* list);

// A TParamList made from `params`, freed with the object. The gate only
// reads it.
class TOwnedParamList {
 public:
  explicit TOwnedParamList(const TParams& params);
  ~TOwnedParamList();
  TOwnedParamList(const TOwnedParamList&) = delete;
  TOwnedParamList& operator=(const TOwnedParamList&) = delete;
  TParamList* Get() { return list_; }

 private:
  TParamList* list_;
};

// The parameter named `name`, or null.
TParamValue* FindParam(TParams& params, std::string_view name);

// Sets the parameter `name` (which must be in `params`) from what a person
// typed, read by the parameter's type:
//   1, 5  a whole number;  10  yes/no, true/false, on/off, 1/0;
//   21    a time: seconds ("90"), m:ss ("1:30") or h:mm:ss ("0:01:30");
//   100   a text (UTF-8, stored as Windows-1251); in "PhonesList" numbers are
//         separated by ';' or ',' and stored one per line.
// Throws EToolError "<name>: <why>" for a value that does not fit, and
// "unknown parameter <name>" (listing the known ones) for a name not there.
void SetParamFromText(TParams& params, const std::string& name, const std::string& text);

// "NAME=VALUE" split at the first '='. Throws EToolError without one.
std::pair<std::string, std::string> SplitAssignment(const std::string& text);

// A value as a person reads it: numbers in decimal, a time span as h:mm:ss
// with its seconds, a text in UTF-8 ("PhonesList" as "101; 102").
std::string ParamValueText(const TParamValue& param);

// A time span (day fraction) of `seconds` and back (whole seconds, rounded).
double SecondsToTimeSpan(double seconds);
double TimeSpanSeconds(double span);
// Reads "90", "1:30" or "0:01:30"; false when it is none of these or negative.
bool ParseSeconds(std::string_view text, double& seconds);

// The "UseComPorts" text ("1010...": 16 characters, COM1 first) for a list of
// port numbers like "1,3" or "1-4,7"; throws EToolError for a number outside
// 1..16. And the port numbers back, as "COM1, COM3" ("none" for none).
std::string PortFlags(const std::string& ports);
std::string PortFlagsText(std::string_view flags);

}  // namespace kestrel::app
