// The activity text: a short program-wide text (20 characters) that says
// what the program is busy with ("Sending Email..."). The frame shows it
// while it is not empty; any thread may set or read it.
#pragma once

#include <string>
#include <string_view>

namespace kr {

inline constexpr std::size_t kActivityTextSize = 20;

void SetActivityText(std::string_view text);
std::string ActivityText();

}  // namespace kr
