#pragma once

#include "qvevent.h"

#include <QDialog>
#include <QString>

namespace Ui {
class SoundSelect;
}

/**
 * "Set Alert Sounds": one sound file per device event, each typed or chosen
 * with "Browse...". The dialog only edits texts; what is kept on OK is the
 * caller's rule.
 */
class SoundSelect : public QDialog
{
    Q_OBJECT

public:
    explicit SoundSelect(QWidget *parent = nullptr);
    ~SoundSelect() override;

    /** The text of @p event's line. */
    QString soundPath(QV_EVENT event) const;
    void setSoundPath(QV_EVENT event, const QString &path);

public slots:
    void QVConnectBrowse();
    void QVDisconnectBrowse();
    void audioConnectBrowse();
    void audioDisconnectBrowse();

private:
    Ui::SoundSelect *m_ui;
};
