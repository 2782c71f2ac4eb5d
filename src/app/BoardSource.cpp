#include "app/BoardSource.h"

#include "demo/BroadcastSource.h"

namespace quav {

std::unique_ptr<PacketSource> OpenBoardSource(const std::string& source, std::string& error)
{
    return OpenBroadcast(source, error);
}

} // namespace quav
