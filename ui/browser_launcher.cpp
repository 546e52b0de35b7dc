// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser_launcher.h"

#include <QProcess>

void BrowserLauncher::open(const QUrl& address) {
    if (m_opener)
        return;
    // When the window goes first, only the opener goes with it: the browser
    // it started is a process of its own.
    m_opener = new QProcess(this);
    m_opener->setProcessChannelMode(QProcess::SeparateChannels);
    m_opener->setStandardOutputFile(QProcess::nullDevice());
    const auto done = [this, address](const QString& why) {
        if (!why.isNull())
            emit failed(address, why);
        m_opener->deleteLater();
        m_opener = nullptr;
    };
    connect(m_opener, &QProcess::errorOccurred, this, [this, done](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done("xdg-open, which starts the desktop's browser, is not installed");
    });
    connect(m_opener, &QProcess::finished, this, [this, done](int exitCode, QProcess::ExitStatus status) {
        if (status == QProcess::NormalExit && exitCode == 0) {
            done({});
            return;
        }
        const QString said = QString::fromLocal8Bit(m_opener->readAllStandardError()).trimmed();
        done(said.isEmpty() ? "xdg-open gave up with status " + QString::number(exitCode) : said.section('\n', -1));
    });
    m_opener->start("xdg-open", {address.toString(QUrl::FullyEncoded)});
}
