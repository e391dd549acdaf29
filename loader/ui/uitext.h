#pragma once
// Texts of the table on widgets.

#include <QString>

class QDialog;
class QDialogButtonBox;
namespace vok {
class TextTable;
}

// A text of the table for display, or the fallback when the table lacks it.
QString uiText(const vok::TextTable& texts, int id, const char* fallback = "");

// OK (text 97) and Cancel (text 98), wired to the dialog's accept and reject.
QDialogButtonBox* okCancelButtons(QDialog* dialog, const vok::TextTable& texts);
