#pragma once

#include <cstddef>
#include <functional>

namespace velkor::cli {

// After the input's end, the rows still queued for a server are given as
// long as the server keeps taking them: waits while `pending()` falls at
// least once every few seconds, until it is 0 or `failed()`.
void waitWhileDraining(const std::function<std::size_t()>& pending,
                       const std::function<bool()>& failed);

} // namespace velkor::cli
