#pragma once
// The description of a simulated line in a small text file:
//
//   # comment
//   family 0                     module family 0, 1 or 2
//   language ../file/language1   language folder (relative to the line file)
//   params line.dat              register image from a parameter file (else defaults)
//   baud 19200 / parity none|odd|even / databits 8 / stopbits 1
//   framing plain|z              plain Modbus RTU or the 'Z' gateway frame
//   response-delay-ms 0
//   command-reset-ms 1500
//   station 1 VOKA112N01000      a module and its module code
//   module 64 VOKP100N01000      the modules at addresses 64 and 128
//   extra 0                      the station the connection check reports in register X
//   fault 5 silent               a fault of one station, or * for every station

#include "simline.h"
#include "slaveserver.h"

#include <string>

namespace vok::sim {

struct LineDescription {
    LineConfig config;
    LineTiming timing;
    bool zFraming = false;
};

// Reads a line description; false with "file:line: reason" on the first bad line.
bool parseLineText(const std::string& text, const std::string& baseFolder, LineDescription& out, std::string* error);
bool loadLineFile(const std::string& path, LineDescription& out, std::string* error);

// One directive, as in the file (also used for command-line options).
bool applyDirective(const std::string& line, const std::string& baseFolder, LineDescription& out, std::string* error);

} // namespace vok::sim
