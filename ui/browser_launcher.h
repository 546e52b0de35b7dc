// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

class QProcess;

// Opens a web address in the desktop's browser through xdg-open, and says
// when that fails: xdg-open reports its failure only by its exit status and
// on standard error, which a window's user never sees.
class BrowserLauncher final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // A browser already being started for an earlier click is left to it.
    void open(const QUrl& address);

signals:
    // Nothing could open `address`; `why` is what the opener said.
    void failed(const QUrl& address, const QString& why);

private:
    QProcess* m_opener = nullptr;
};
