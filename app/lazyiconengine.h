#pragma once

#include <QIcon>
#include <QIconEngine>
#include <QList>
#include <QPair>
#include <QSize>
#include <QString>

/**
 * An icon made of image files, one per size, that reads them only when a
 * pixmap of it is first needed. Until then it knows its sizes but has read
 * nothing: a platform that shows no window icon never pays for decoding
 * them (and for the image plugins the first read loads). Once read it draws
 * exactly as a QIcon given the same files with addFile() does.
 */
class LazyIconEngine : public QIconEngine
{
public:
    using Files = QList<QPair<QString, QSize>>;

    /** An icon of @p files (path and size of each image). */
    static QIcon icon(const Files &files);

    explicit LazyIconEngine(const Files &files);

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QIconEngine *clone() const override;
    void virtual_hook(int id, void *data) override;

    /** Whether the files have been read. */
    bool isLoaded() const { return !m_loaded.isNull(); }

private:
    const QIcon &loaded();

    Files m_files;
    QIcon m_loaded;
};
