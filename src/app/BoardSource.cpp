#include "app/BoardSource.h"

#include "broadcast/T42Recording.h"

namespace quav {

std::unique_ptr<PacketSource> OpenBoardSource(const std::string& source, std::string& error)
{
    auto recording = std::make_unique<T42Recording>();
    error = recording->Open(source);
    if (!error.empty()) {
        return nullptr;
    }
    return recording;
}

} // namespace quav
