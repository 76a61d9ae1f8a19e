#pragma once

// The message of the exception of type E that the call throws, or "no exception".
#include <string>

namespace OrnTest {

template <typename E, typename Call>
std::string errorOf(Call&& call) {
  try {
    call();
  } catch (const E& e) {
    return e.what();
  }
  return "no exception";
}

}  // namespace OrnTest
