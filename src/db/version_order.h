// The order of version texts, as every part of the agent compares them: dotted parts compared
// one by one as whole numbers (7.5.10 comes after 7.5.9, 7.5.2 before 7.5.12).
//
// A part that is not a whole number (7.5.13a) compares by its leading digits first, then by the
// rest as text: 7.5.13 < 7.5.13a < 7.5.14. A part without leading digits comes before every
// numbered one, and a missing part before every present one (7.5 < 7.5.0). Blanks around the
// version and around each part are ignored (char columns come back padded).
//
// Long and short forms: a version whose first part has 3 or more characters (a year, 2013.1.1) is
// long-form. Every long-form version comes after every short-form one, so an installed short-form
// version takes any long-form candidate as newer, and an installed long-form version takes only
// long-form candidates. Within one form the parts decide.
//
// Nothing here fails: any text has a place in the order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillmend {

// True when the first part of version (blanks trimmed) has 3 or more characters.
bool IsLongFormVersion(std::string_view version);

// Negative when a comes before b, zero when both name the same version (7.5.010 and 7.5.10),
// positive when a comes after b.
int CompareVersions(std::string_view a, std::string_view b);

// True when candidate comes after installed: the only versions an update may apply.
bool IsNewerVersion(std::string_view candidate, std::string_view installed);

// Sorts versions oldest first; versions that compare equal keep their order.
void SortVersions(std::vector<std::string>& versions);

}  // namespace quillmend
