#pragma once
// The simulator's control channel: a local socket that takes one command per line and
// answers "ok ..." or "error: ..." followed by a line holding only ".", so that tests and people can change faults, presence
// and registers while the line runs.
//
//   fault N|* KIND [ARG]    set a fault (silent, crc [rate], wrong-address, exception [code],
//                           truncate, garbage [bytes], zstatus [status], ident CODE,
//                           unreadable REG, clamp REG:MAX); N may be 63, 64 or 128 too
//   nofault N|* KIND        clear one fault;  clear N|*   clear all faults
//   station N CODE|none     add, replace or remove a module
//   extra N                 the station reported in register X of the connection check
//   set N REG VALUE         store a register value (N may be 63, 64 or 128)
//   get N REG               read a register as the module would answer it
//   status                  the line and its faults

#include "simline.h"

#include <atomic>
#include <string>
#include <thread>

namespace vok::sim {

std::string executeCommand(SimLine& line, const std::string& command);

class ControlServer {
public:
    ControlServer(SimLine& line, std::string path);
    ~ControlServer();
    bool start(std::string* error);
    void stop();

private:
    void serve();

    SimLine& m_line;
    std::string m_path;
    int m_socket = -1;
    int m_wake = -1;
    std::thread m_thread;
};

// Sends one command to a running simulator; false when it cannot be reached.
bool sendControl(const std::string& path, const std::string& command, std::string& reply);

} // namespace vok::sim
