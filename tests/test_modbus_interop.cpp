// Our master against libmodbus's RTU server, an independent implementation of the slave.

#include "modbus.h"
#include "ptybridge.h"
#include "reporter.h"

#include <atomic>
#include <gtest/gtest.h>
#include <modbus/modbus.h>
#include <thread>

using namespace vok;

namespace {

class LibmodbusServer {
public:
    LibmodbusServer(const std::string& device, int slave)
    {
        m_ctx = modbus_new_rtu(device.c_str(), 19200, 'N', 8, 1);
        modbus_set_slave(m_ctx, slave);
        m_map = modbus_mapping_new_start_address(0, 0, 0, 0, 0, 50, 0, 50);
        for (int i = 0; i < 50; ++i) {
            m_map->tab_registers[i] = static_cast<std::uint16_t>(1000 + i);
            m_map->tab_input_registers[i] = static_cast<std::uint16_t>(2000 + i);
        }
        m_ok = modbus_connect(m_ctx) == 0;
        modbus_set_indication_timeout(m_ctx, 0, 100000);
        if (m_ok)
            m_thread = std::thread([this] { serve(); });
    }
    ~LibmodbusServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        modbus_close(m_ctx);
        modbus_mapping_free(m_map);
        modbus_free(m_ctx);
    }
    bool ok() const { return m_ok; }
    std::uint16_t holding(int i) const { return m_map->tab_registers[i]; }

private:
    void serve()
    {
        std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!m_stop) {
            int rc = modbus_receive(m_ctx, query);
            if (rc > 0)
                modbus_reply(m_ctx, query, rc, m_map);
            else if (rc < 0)
                modbus_flush(m_ctx);
        }
    }

    modbus_t* m_ctx = nullptr;
    modbus_mapping_t* m_map = nullptr;
    bool m_ok = false;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

TEST(ModbusInterop, AgainstLibmodbusRtuServer)
{
    vok::test::PtyBridge bridge;
    LibmodbusServer server(bridge.pathB(), 3);
    ASSERT_TRUE(server.ok());

    CommSettings settings;
    settings.deviceOverride = bridge.pathA();
    NullReporter reporter;
    Link link(settings, reporter);
    ASSERT_EQ(link.openLinkFromSettings(), 0);
    ModbusMaster master(link);
    PortHandle port = link.linkHandle();

    std::uint16_t values[20] = {};
    EXPECT_EQ(master.readRegisters(port, 3, 40, values, 40001), kCommOk);
    EXPECT_EQ(values[0], 1000);
    EXPECT_EQ(values[19], 1019);

    EXPECT_EQ(master.readRegisters(port, 3, 6, values, 30002), kCommOk);
    EXPECT_EQ(values[0], 2001);
    EXPECT_EQ(values[2], 2003);

    const std::uint16_t one = 0xBEEF;
    EXPECT_EQ(master.writeRegisters(port, 3, 2, &one, 40005), kCommOk);
    EXPECT_EQ(server.holding(4), 0xBEEF);

    const std::uint16_t three[] = {7, 8, 9};
    EXPECT_EQ(master.writeRegisters(port, 3, 6, three, 40010), kCommOk);
    EXPECT_EQ(master.readRegisters(port, 3, 6, values, 40010), kCommOk);
    EXPECT_EQ(values[0], 7);
    EXPECT_EQ(values[2], 9);

    // Beyond the mapping: illegal data address.
    EXPECT_EQ(master.readRegisters(port, 3, 2, values, 40100), exceptionResult(2));
    EXPECT_EQ(master.writeRegisters(port, 3, 2, &one, 40100), exceptionResult(2));

    // Nobody answers for station 4: two silent attempts.
    EXPECT_EQ(master.readRegisters(port, 4, 2, values, 40001), kCommNoAnswer);
    EXPECT_EQ(master.lastCommStatus(), kCommNoAnswer);
    link.close();
}
