#pragma once

#include "acquisition/CycleHost.h"
#include "config/SettingsStore.h"
#include "serial/TComm32.h"

namespace quav {

/// The serial port object as the acquisition cycle uses it.
class CommPortAdapter final : public CyclePort
{
public:
    explicit CommPortAdapter(TComm32& comm) : m_comm(comm) {}
    std::string CommPort() const override { return m_comm.CommPort().toStdString(); }
    void SetCommPort(const std::string& name) override { m_comm.SetCommPort(QString::fromStdString(name)); }
    void OpenPort() override { m_comm.OpenPort(); }
    void ClosePort() override { m_comm.ClosePort(); }

private:
    TComm32& m_comm;
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
