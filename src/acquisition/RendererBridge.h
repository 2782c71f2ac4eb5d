#pragma once

#include "acquisition/CycleHost.h"
#include "decoder/Decoder.h"
#include "render/Renderer.h"

#include <functional>

namespace quav {

/// Connects the acquisition cycle to the renderer: the cycle's drawing steps render the
/// decoder's header row and page buffer into the page image.
class RendererBridge final : public CycleRenderer
{
public:
    RendererBridge(Renderer& renderer, const Decoder& decoder) : m_renderer(renderer), m_decoder(decoder) {}

    void SetupRenderer() override { m_renderer.SetupRenderer(); }
    void RenderHeaderRow() override
    {
        m_renderer.RenderHeaderRow(m_decoder.HeaderRow());
        Drawn();
    }
    void RenderPageRows() override
    {
        m_renderer.RenderPageRows(m_decoder.PageRows());
        Drawn();
    }
    const std::array<std::uint8_t, 23>& DoubleHeightRows() const override { return m_renderer.DoubleHeightRows; }
    void SetReveal(bool reveal) override { m_renderer.Reveal = reveal; }

    /// Called after each drawing into the page image (the window repaints then).
    std::function<void()> onDrawn;

private:
    void Drawn()
    {
        if (onDrawn) {
            onDrawn();
        }
    }

    Renderer& m_renderer;
    const Decoder& m_decoder;
};

} // namespace quav
