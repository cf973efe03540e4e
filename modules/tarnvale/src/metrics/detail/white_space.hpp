// Trimming and field splitting of UTF-8 text at Unicode white space.
#pragma once

#include <cstddef>
#include <string_view>



namespace tarnvale::metrics {

std::string_view trim_start_white_space(std::string_view text);
std::string_view trim_white_space(std::string_view text);

// The next field of `text` split at runs of white space, starting the search at pos and
// leaving pos after the field; empty once no field is left.
std::string_view next_field(std::string_view text, std::size_t& pos);

}  // namespace tarnvale::metrics
