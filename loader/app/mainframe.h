#pragma once
// The loader's single top-level window.

#include "link.h"
#include "settings.h"
#include "texttable.h"

#include <QMainWindow>
#include <memory>

class GuiReporter;
class QSplitter;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    vok::CommSettings& settings() { return m_settings; }
    const vok::TextTable& texts() const { return m_texts; }

private:
    void buildMenus();
    QString text(int id) const;
    void showAbout();

    vok::Profile m_profile;
    vok::CommSettings m_settings;
    vok::TextTable m_texts;
    std::unique_ptr<GuiReporter> m_reporter;
    std::unique_ptr<vok::Link> m_link;
    QSplitter* m_splitter = nullptr;
};
