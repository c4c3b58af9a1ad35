#pragma once

#include "optionrows.h"

#include <QList>
#include <QString>
#include <QWidget>

namespace Ui {
class OptionEditPanel;
}

/**
 * The editing pages of one option (number, switch, text, choice, encoder,
 * blank) with its description, current and default value and the "Default"
 * button. Shared by the profile and the settings editors: the caller says
 * which option to show and hears of every value the operator sets.
 */
class OptionEditPanel : public QWidget
{
    Q_OBJECT

public:
    explicit OptionEditPanel(QWidget *parent = nullptr);
    ~OptionEditPanel() override;

    /** Shows the blank page with @p description. */
    void showBlank(const QString &description);
    /**
     * Shows the page of @p option holding @p value (an empty value shows the
     * default, except for text). @p codecs are the encoders of a codec page.
     * Showing the same text option again leaves its line edit (and cursor) alone.
     */
    void showOption(const OptionDescription &option, const QString &value,
                    const QList<CodecChoice> &codecs = QList<CodecChoice>());
    /** Whether the default value and the "Default" button are shown. */
    void setDefaultShown(bool shown);
    /** Whether the codec page starts with "Follow local encoder" ("!follow"). */
    void setFollowChoice(bool offered) { m_followChoice = offered; }

    QString currentValue() const { return m_current; }
    OptionPage page() const { return m_page; }
    const OptionDescription &option() const { return m_option; }

signals:
    /** The operator set @p value (never emitted while the panel fills itself). */
    void valueEdited(const QString &value);

public slots:
    void intChanged(int value);
    void boolChanged(int state);
    void textChanged(const QString &text);
    void selectChanged(int index);
    void codecChanged(int index);
    /** Sets the page's control to the default, which writes it like an edit. */
    void defaultClicked();
    void clearStringText();

private:
    void edited(const QString &value);
    void showLabels();
    void showCodecDetails();
    QString displayText(const QString &value) const;

    Ui::OptionEditPanel *m_ui;
    OptionDescription m_option;
    QList<CodecChoice> m_codecs;
    QString m_current;
    OptionPage m_page = OptionPage::Blank;
    bool m_populating = false;
    bool m_followChoice = false;
};
