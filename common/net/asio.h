// Boost.Asio, under the short name the servers' code uses. The servers'
// networking and their web console's HTTP (Boost.Beast, which runs on
// Boost.Asio only) share this one copy of Asio.
#pragma once

// Boost 1.74 uses std::exchange without including <utility> (C++20, GCC 12).
#include <utility>

#include <boost/asio.hpp>

namespace asio = boost::asio;

namespace quorlane {

/// What Boost.Asio's handlers and calls report errors with.
using ErrorCode = boost::system::error_code;

}  // namespace quorlane
