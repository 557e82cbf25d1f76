#include "db/version_order.h"

#include <algorithm>

#include "base/text.h"

namespace quillmend {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Characters, not bytes: a UTF-8 continuation byte does not start one.
size_t CharacterCount(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

int Sign(int value) { return (value > 0) - (value < 0); }

// One part: its leading digits as a whole number of any length, then the rest as text.
int CompareParts(std::string_view a, std::string_view b) {
  const std::string x = TrimBlanks(a);
  const std::string y = TrimBlanks(b);
  const size_t x_digits =
      static_cast<size_t>(std::find_if_not(x.begin(), x.end(), IsDigit) - x.begin());
  const size_t y_digits =
      static_cast<size_t>(std::find_if_not(y.begin(), y.end(), IsDigit) - y.begin());
  if ((x_digits == 0) != (y_digits == 0)) return x_digits == 0 ? -1 : 1;
  if (x_digits > 0) {
    // Leading zeros carry no value; then the longer number is the larger one.
    std::string_view x_number = std::string_view(x).substr(0, x_digits);
    std::string_view y_number = std::string_view(y).substr(0, y_digits);
    while (x_number.size() > 1 && x_number.front() == '0') x_number.remove_prefix(1);
    while (y_number.size() > 1 && y_number.front() == '0') y_number.remove_prefix(1);
    if (x_number.size() != y_number.size()) return x_number.size() < y_number.size() ? -1 : 1;
    if (const int order = x_number.compare(y_number); order != 0) return Sign(order);
  }
  return Sign(std::string_view(x).substr(x_digits).compare(std::string_view(y).substr(y_digits)));
}

}  // namespace

bool IsLongFormVersion(std::string_view version) {
  const std::vector<std::string> parts = SplitText(TrimBlanks(version), ".");
  return CharacterCount(TrimBlanks(parts.front())) >= 3;
}

int CompareVersions(std::string_view a, std::string_view b) {
  const bool a_long = IsLongFormVersion(a);
  if (a_long != IsLongFormVersion(b)) return a_long ? 1 : -1;
  const std::vector<std::string> x = SplitText(TrimBlanks(a), ".");
  const std::vector<std::string> y = SplitText(TrimBlanks(b), ".");
  for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
    if (const int order = CompareParts(x[i], y[i]); order != 0) return order;
  }
  if (x.size() == y.size()) return 0;
  return x.size() < y.size() ? -1 : 1;
}

bool IsNewerVersion(std::string_view candidate, std::string_view installed) {
  return CompareVersions(candidate, installed) > 0;
}

void SortVersions(std::vector<std::string>& versions) {
  std::stable_sort(versions.begin(), versions.end(),
                   [](const std::string& a, const std::string& b) {
                     return CompareVersions(a, b) < 0;
                   });
}

}  // namespace quillmend
