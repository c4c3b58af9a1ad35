#include "optioneditpanel.h"

#include "ui_optioneditpanel.h"

using namespace optionrows;

namespace {

const char *const FollowValue = "!follow";

} // namespace

OptionEditPanel::OptionEditPanel(QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::OptionEditPanel)
{
    m_ui->setupUi(this);
    connect(m_ui->spinValue, QOverload<int>::of(&QSpinBox::valueChanged), this, &OptionEditPanel::intChanged);
    connect(m_ui->checkValue, &QCheckBox::stateChanged, this, &OptionEditPanel::boolChanged);
    connect(m_ui->lineValue, &QLineEdit::textChanged, this, &OptionEditPanel::textChanged);
    connect(m_ui->comboValue, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &OptionEditPanel::selectChanged);
    connect(m_ui->comboCodec, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &OptionEditPanel::codecChanged);
    connect(m_ui->buttonDefault, &QPushButton::clicked, this, &OptionEditPanel::defaultClicked);
    connect(m_ui->buttonStringClear, &QPushButton::clicked, this, &OptionEditPanel::clearStringText);
    showBlank(QString());
}

OptionEditPanel::~OptionEditPanel()
{
    delete m_ui;
}

void OptionEditPanel::showBlank(const QString &description)
{
    m_page = OptionPage::Blank;
    m_option = OptionDescription();
    m_current.clear();
    m_ui->labelDescription->setText(description);
    m_ui->labelCurrent->clear();
    m_ui->labelDefault->clear();
    m_ui->buttonDefault->setEnabled(false);
    m_ui->stackEdit->setCurrentWidget(m_ui->pageBlank);
}

void OptionEditPanel::setDefaultShown(bool shown)
{
    m_ui->labelDefaultCaption->setVisible(shown);
    m_ui->labelDefault->setVisible(shown);
    m_ui->buttonDefault->setVisible(shown);
}

void OptionEditPanel::showOption(const OptionDescription &option, const QString &value,
                                 const QList<CodecChoice> &codecs)
{
    m_populating = true;
    m_option = option;
    m_codecs = codecs;
    m_page = pageFor(option.type);
    m_current = effectiveValue(option, value);
    m_ui->labelDescription->setText(option.descr);

    switch (m_page) {
    case OptionPage::Int:
        m_ui->spinValue->setSuffix(option.units.isEmpty() ? QString() : QStringLiteral(" %1").arg(option.units));
        m_ui->spinValue->setRange(option.minimum, option.maximum);
        m_ui->spinValue->setValue(intValue(m_current));
        m_ui->labelMinimum->setText(numberText(QString::number(option.minimum), option.units));
        m_ui->labelMaximum->setText(numberText(QString::number(option.maximum), option.units));
        m_ui->stackEdit->setCurrentWidget(m_ui->pageInt);
        break;
    case OptionPage::Bool:
        m_ui->checkValue->setText(checkCaption(option));
        m_ui->checkValue->setChecked(m_current == QLatin1String("true"));
        m_ui->stackEdit->setCurrentWidget(m_ui->pageBool);
        break;
    case OptionPage::String:
        // Only a different text is set, so typing keeps its cursor.
        if (m_ui->lineValue->text() != m_current)
            m_ui->lineValue->setText(m_current);
        m_ui->stackEdit->setCurrentWidget(m_ui->pageString);
        break;
    case OptionPage::Select:
        m_ui->comboValue->clear();
        for (const OptionChoice &c : qAsConst(option.choices))
            m_ui->comboValue->addItem(c.name, c.value);
        m_ui->comboValue->setCurrentIndex(m_ui->comboValue->findData(m_current));
        m_ui->stackEdit->setCurrentWidget(m_ui->pageSelect);
        break;
    case OptionPage::Codec:
        m_ui->comboCodec->clear();
        if (m_followChoice)
            m_ui->comboCodec->addItem(QStringLiteral("Follow local encoder"), QString::fromLatin1(FollowValue));
        for (const CodecChoice &c : qAsConst(m_codecs))
            m_ui->comboCodec->addItem(c.text, c.id);
        m_ui->comboCodec->setCurrentIndex(m_ui->comboCodec->findData(m_current));
        showCodecDetails();
        m_ui->stackEdit->setCurrentWidget(m_ui->pageCodec);
        break;
    case OptionPage::Blank:
        m_ui->stackEdit->setCurrentWidget(m_ui->pageBlank);
        break;
    }
    showLabels();
    m_populating = false;
}

QString OptionEditPanel::displayText(const QString &value) const
{
    if (m_page == OptionPage::Int)
        return numberText(value, m_option.units);
    return valueText(m_option, value, m_codecs);
}

void OptionEditPanel::showLabels()
{
    m_ui->labelCurrent->setText(displayText(m_current));
    if (m_page == OptionPage::Bool)
        m_ui->labelDefault->setText(boolWord(m_option, m_option.defaultValue == QLatin1String("true")));
    else
        m_ui->labelDefault->setText(displayText(m_option.defaultValue));
    m_ui->buttonDefault->setEnabled(m_page != OptionPage::Blank && m_current != m_option.defaultValue);
}

void OptionEditPanel::showCodecDetails()
{
    const QString id = m_ui->comboCodec->currentData().toString();
    if (id == QLatin1String(FollowValue)) {
        m_ui->labelCodecDescr->setText(QStringLiteral("Follow the local encoder settings."));
        m_ui->labelCodecQuality->setText(QStringLiteral("(follow)"));
        m_ui->labelCodecDelay->setText(QStringLiteral("(follow)"));
        return;
    }
    for (const CodecChoice &c : qAsConst(m_codecs)) {
        if (c.id == id) {
            m_ui->labelCodecDescr->setText(c.descr);
            m_ui->labelCodecQuality->setText(c.quality + QLatin1Char('%'));
            m_ui->labelCodecDelay->setText(c.delay + QStringLiteral("ms"));
            return;
        }
    }
    m_ui->labelCodecDescr->clear();
    m_ui->labelCodecQuality->clear();
    m_ui->labelCodecDelay->clear();
}

void OptionEditPanel::edited(const QString &value)
{
    m_current = value;
    showLabels();
    emit valueEdited(value);
}

void OptionEditPanel::intChanged(int value)
{
    if (m_populating || m_page != OptionPage::Int)
        return;
    edited(QString::number(value));
}

void OptionEditPanel::boolChanged(int state)
{
    if (m_populating || m_page != OptionPage::Bool)
        return;
    edited(state == Qt::Checked ? QStringLiteral("true") : QStringLiteral("false"));
}

void OptionEditPanel::textChanged(const QString &text)
{
    if (m_populating || m_page != OptionPage::String)
        return;
    edited(text);
    m_ui->lineValue->setFocus();
}

void OptionEditPanel::selectChanged(int index)
{
    if (m_populating || m_page != OptionPage::Select || index < 0)
        return;
    edited(m_ui->comboValue->itemData(index).toString());
}

void OptionEditPanel::codecChanged(int index)
{
    if (m_populating || m_page != OptionPage::Codec || index < 0)
        return;
    showCodecDetails();
    edited(m_ui->comboCodec->itemData(index).toString());
}

void OptionEditPanel::defaultClicked()
{
    const QString &d = m_option.defaultValue;
    switch (m_page) {
    case OptionPage::Int:
        m_ui->spinValue->setValue(intValue(d));
        break;
    case OptionPage::Bool:
        m_ui->checkValue->setChecked(d == QLatin1String("true"));
        break;
    case OptionPage::String:
        m_ui->lineValue->setText(d);
        break;
    case OptionPage::Select:
        m_ui->comboValue->setCurrentIndex(m_ui->comboValue->findData(d));
        break;
    case OptionPage::Codec:
        m_ui->comboCodec->setCurrentIndex(m_ui->comboCodec->findData(d));
        break;
    case OptionPage::Blank:
        return;
    }
    // The control may already show the default while the value differs (a number out of range).
    if (m_current != d)
        edited(d);
}

void OptionEditPanel::clearStringText()
{
    m_ui->lineValue->clear();
}
