#include "serial/CommBlock.h"

namespace quav {

std::atomic<long> CommBlock::s_live{0};

CommBlock CommBlock::Allocate(std::size_t size)
{
    CommBlock block;
    block.m_data.reset(new char[size == 0 ? 1 : size]());
    block.m_size = size;
    s_live.fetch_add(1);
    return block;
}

void CommBlock::Release()
{
    m_data.reset();
    m_size = 0;
}

void CommBlock::Deleter::operator()(char* p) const
{
    delete[] p;
    s_live.fetch_sub(1);
}

} // namespace quav
