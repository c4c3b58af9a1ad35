#include "appicon.h"

#include <QIconEngine>
#include <QImageReader>
#include <QMap>
#include <QPainter>
#include <QPixmap>

#include <utility>

namespace {

/** Icon files by size, decoded on first use; the smallest file not smaller than the size asked for serves it. */
class SizedFileIconEngine : public QIconEngine
{
public:
    explicit SizedFileIconEngine(QMap<int, QString> files)
        : m_files(std::move(files))
    {
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int wanted = qMax(size.width(), size.height());
        auto file = m_files.lowerBound(wanted);
        if (file == m_files.end())
            file = std::prev(m_files.end());
        QPixmap &decoded = m_decoded[file.key()];
        if (decoded.isNull())
            decoded = QPixmap::fromImage(QImageReader(file.value(), "png").read());
        return decoded.size() == size ? decoded : decoded.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        return size;
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) const override
    {
        QList<QSize> sizes;
        for (int side : m_files.keys())
            sizes.append(QSize(side, side));
        return sizes;
    }

    QIconEngine *clone() const override { return new SizedFileIconEngine(*this); }

private:
    QMap<int, QString> m_files;
    QMap<int, QPixmap> m_decoded;
};

} // namespace

QIcon applicationIcon()
{
    QMap<int, QString> files;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        files.insert(size, QStringLiteral(":/appicon/quorvane-%1.png").arg(size));
    return QIcon(new SizedFileIconEngine(files));
}
