#pragma once

#include "qvevent.h"

#include <QString>

class QLineEdit;
class QWidget;

/**
 * The four sound-file lines of a form, one per device event. The sound
 * dialog and the "Sounds" page of the add dialog share the line names.
 */
struct SoundFields
{
    QLineEdit *audioStart = nullptr;
    QLineEdit *audioFinish = nullptr;
    QLineEdit *connectsToQV = nullptr;
    QLineEdit *disconnectsFromQV = nullptr;

    template<class Form>
    static SoundFields of(Form *form)
    {
        return {form->lineAudioStart, form->lineAudioFinish, form->lineConnectsToQV, form->lineDisconnectsFromQV};
    }

    QLineEdit *line(QV_EVENT event) const;
    QString path(QV_EVENT event) const;
    void setPath(QV_EVENT event, const QString &path) const;

    /** Fills @p line from a file chooser; a cancelled chooser empties it. */
    static void browseInto(QWidget *parent, QLineEdit *line);
};
