#pragma once

#include <cstdint>

namespace quav {

/// The device behind an I2C slave interface: what it does with the bytes of a transfer.
/// Calls come one per byte, at the moment the bus state machine needs the answer.
class I2cTarget
{
public:
    virtual ~I2cTarget() = default;

    /// A start condition (also a repeated one) was seen.
    virtual void OnStart() = 0;
    /// A stop condition was seen.
    virtual void OnStop() = 0;
    /// The first byte after a start: the address with the read bit. True to acknowledge.
    virtual bool OnAddress(std::uint8_t address) = 0;
    /// A byte the master wrote. True to acknowledge.
    virtual bool OnWrite(std::uint8_t byte) = 0;
    /// The next byte the master reads. Asked only for bytes the master will clock in.
    virtual std::uint8_t OnRead() = 0;
};

/// The bus side of an I2C slave: a state machine that follows the two lines and takes one
/// step per line change.
///
/// Start and stop conditions are changes of SDA while SCL is high. Bits are sampled on the
/// rising edge of SCL, most significant first, and the slave changes its own SDA output
/// only after a falling edge, so it never fakes a start or stop. After an address that
/// nobody wants, or a read byte the master did not acknowledge, the slave lets go of the
/// bus until the next start condition. SDA is open drain: the level on the wire is low when
/// either side pulls it low.
class I2cSlave
{
public:
    explicit I2cSlave(I2cTarget& target) : m_target(target) {}

    /// Bus idle, both lines high, nothing addressed.
    void Reset();

    /// The master now drives SCL and SDA to these levels (true = high, released). A call
    /// that changes nothing costs next to nothing. One that changes both lines at once is
    /// taken the way that fakes no start or stop: data before a rising clock, after a
    /// falling one.
    void Step(bool scl, bool masterSda)
    {
        if (scl == m_scl) {
            if (masterSda != m_masterSda) {
                ChangeSda(masterSda);
            }
            return;
        }
        if (scl && masterSda != m_masterSda) {
            ChangeSda(masterSda);
        }
        ChangeScl(scl);
        if (!scl && masterSda != m_masterSda) {
            ChangeSda(masterSda);
        }
    }

    /// The level of SDA on the wire.
    bool Sda() const { return m_masterSda && m_slaveSda; }
    bool Scl() const { return m_scl; }
    bool MasterSda() const { return m_masterSda; }
    /// True while the slave takes part in a transfer (addressed and not yet released).
    bool Addressed() const { return m_state == State::Writing || m_state == State::Reading; }
    /// True while a byte of a transfer is under way: from the first clock after a start
    /// condition until the slave lets go of the transfer.
    bool InTransfer() const
    {
        return m_state != State::Idle && m_state != State::Released &&
               !(m_state == State::Address && m_clock == 0);
    }

private:
    enum class State : std::uint8_t
    {
        Idle,     ///< waiting for a start condition
        Address,  ///< shifting in the address byte
        Writing,  ///< addressed for writing: shifting in data bytes
        Reading,  ///< addressed for reading: shifting out data bytes
        Released, ///< not (or no longer) addressed: waiting for start or stop
    };

    void ChangeSda(bool masterSda);
    void ChangeScl(bool scl);
    void RisingEdge();
    void FallingEdge();
    void LoadReadByte();

    I2cTarget& m_target;
    State m_state = State::Idle;
    bool m_scl = true;
    bool m_masterSda = true;
    bool m_slaveSda = true;
    bool m_ackPending = false; ///< the byte just shifted in is acknowledged in the ninth clock
    bool m_readAfterAck = false;
    bool m_masterAck = false;
    std::uint8_t m_clock = 0; ///< rising edges of SCL in the current byte, 0 to 9
    std::uint8_t m_shift = 0;
};

} // namespace quav
