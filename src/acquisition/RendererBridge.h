#pragma once

#include "acquisition/CycleHost.h"
#include "decoder/Decoder.h"
#include "render/Renderer.h"

#include <functional>

namespace quav {

/// Connects the acquisition cycle to the renderer: the cycle's drawing steps render the
/// decoder's header row and page buffer into the page image, in the character set that
/// the status row names.
class RendererBridge final : public CycleRenderer
{
public:
    RendererBridge(Renderer& renderer, const Decoder& decoder) : m_renderer(renderer), m_decoder(decoder) {}

    void SetupRenderer() override { m_renderer.SetupRenderer(); }
    void RenderHeaderRow() override
    {
        m_renderer.SetNationalOption(m_decoder.NationalOption());
        m_renderer.RenderHeaderRow(m_decoder.HeaderRow());
        Drawn(false);
    }
    void RenderPageRows() override
    {
        m_renderer.SetNationalOption(m_decoder.PageNationalOption());
        m_renderer.RenderPageRows(m_decoder.PageRows());
        Drawn(true);
    }
    const std::array<std::uint8_t, 23>& DoubleHeightRows() const override
    {
        return m_renderer.DoubleHeightRows;
    }
    void SetReveal(bool reveal) override { m_renderer.Reveal = reveal; }
    void RedrawShown() override
    {
        m_renderer.RenderAgain();
        Drawn(true);
    }
    const std::array<std::uint8_t, 960>& ShownPageRows() const override { return m_renderer.LastPageRows(); }
    std::uint8_t ShownNationalOption() const override { return m_renderer.LastPageOption(); }

    /// Called after each drawing into the page image (the window repaints then); true when
    /// the page rows were drawn, false for the header row alone.
    std::function<void(bool wholePage)> onDrawn;

private:
    void Drawn(bool wholePage)
    {
        if (onDrawn) {
            onDrawn(wholePage);
        }
    }

    Renderer& m_renderer;
    const Decoder& m_decoder;
};

} // namespace quav
