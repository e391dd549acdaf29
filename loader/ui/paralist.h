#pragma once
// The parameter list: every parameter of one main list with the values of every station and
// channel of its kind, as ".\DATA\ParameterOutputList.csv" for the spreadsheet program, and
// the control file "LDPrint.wrk" for the print workbook. No widgets: vokctl writes it too.

#include "definitions.h"

#include <string>
#include <vector>

namespace vok {
class DataStore;
}

namespace paralist {

// Kinds 1-5 are the sections of the standard line (Function, Event, Analog, Analog input,
// Analog output), 6 and 7 the two communication families.
vok::ListType listTypeOfKind(int kind);
// The kind of a family's list: 6 and 7 for the communication families, else the one chosen.
int kindOfFamily(int family, int chosen);

struct Column {
    int station; // 1-32
    int channel; // 0-3
};
// One column per channel of each present station whose model class fits the kind; one per
// station for the events.
std::vector<Column> valueColumns(const vok::DataStore& store, int kind);

// Why the kind's main list cannot give a list (missing, no parameter, lines not ended by
// CR LF); empty when it can. A list without rows is never written as if it were one.
std::string listProblem(vok::DefinitionTables& tables, int kind);

// The list's text (bytes of the language folder's encoding). `spreadsheet` puts an
// apostrophe before hexadecimal values and bit patterns, so that the spreadsheet keeps them
// as text (for showing; printing has none). Empty when listProblem has one.
std::string buildList(vok::DefinitionTables& tables, const vok::DataStore& store, int kind, const std::string& comment,
                      bool spreadsheet);

// How many columns the parameter view would have for the kind, plus the four the print
// workbook adds.
int printColumnCount(const vok::DataStore& store, int kind);
// The one line of "LDPrint.wrk": "0/<working dir>/DATA/ParameterOutputList.csv/LDPrint/
// <printer or 1>/<columns>/0/END", no line end.
std::string printControl(const std::string& workingDir, const std::string& printer, int columns);

// The list's lines and cells, for printing it as a table.
std::vector<std::vector<std::string>> cellsOf(const std::string& list);

} // namespace paralist
