#pragma once

#include "acquisition/CycleHost.h"
#include "config/SettingsStore.h"
#include "serial/TComm32.h"
#include "station/Station.h"

namespace quav {

/// The station's serial port object as the acquisition cycle uses it. Opening the port
/// raises DTR and RTS, which holds the serial module's SCL low, so the station brings the
/// bus to idle before the cycle's first transfer.
class CommPortAdapter final : public CyclePort
{
public:
    explicit CommPortAdapter(Station& station) : m_station(station) {}
    std::string CommPort() const override { return m_station.Comm().CommPort().toStdString(); }
    void SetCommPort(const std::string& name) override
    {
        m_station.Comm().SetCommPort(QString::fromStdString(name));
    }
    void OpenPort() override
    {
        m_station.Comm().OpenPort();
        m_station.BusIdle();
    }
    void ClosePort() override { m_station.Comm().ClosePort(); }

private:
    Station& m_station;
};

/// The settings store as the acquisition cycle uses it.
class StoreAdapter final : public CycleSettingsStore
{
public:
    explicit StoreAdapter(SettingsStore& store) : m_store(store) {}
    bool SettingsCurrent() override { return m_store.SettingsCurrent(); }
    void LoadSettings() override { m_store.LoadSettings(); }

private:
    SettingsStore& m_store;
};

} // namespace quav
