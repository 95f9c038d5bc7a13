#pragma once

#include <QTabWidget>

class QWidget;

// The tab container of the main window: it shows the pages, it does not own their logic.
class CConfiguration final : public QTabWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CConfiguration)

public:
    explicit CConfiguration(QWidget* parent = nullptr);

    // The ten tab texts, in tab order.
    static QStringList PageTitles();
};
