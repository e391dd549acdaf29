#pragma once
// The "Communication" window: shows that a command runs on a channel (phase one, while the
// command monitor polls), then that the station is read again (phase two).

#include <QDialog>

class QLabel;
class QTimer;
namespace vok {
class Workers;
class TextTable;
struct TransferContext;
}

class CCommWindow : public QDialog {
    Q_OBJECT
public:
    // Phase one for a monitored command (`row` >= 0), or straight to the re-read when
    // `presetText` is not text 123 (the dependent update).
    CCommWindow(const vok::TextTable& texts, vok::Workers& workers, vok::TransferContext& context, int station,
                int channel, int row, const QString& presetText, QWidget* parent = nullptr);

    int phase() const { return m_phase; }
    QString statusText() const;
    void stop();

Q_SIGNALS:
    // The window ends: the station was read again, or Stop was pressed.
    void ended(int station);

private:
    void tick();
    void close2();

    const vok::TextTable& m_texts;
    vok::Workers& m_workers;
    vok::TransferContext& m_context;
    int m_station;
    int m_channel;
    int m_row;
    int m_phase = 1;
    QLabel* m_label;
    QTimer* m_timer;
};
