#include "app/BoardSource.h"

#include "demo/BroadcastSource.h"

namespace quav {

std::unique_ptr<PacketSource> OpenBoardSource(const std::string& source, std::string& error, int pid)
{
    return OpenBroadcast(source, error, pid);
}

} // namespace quav
