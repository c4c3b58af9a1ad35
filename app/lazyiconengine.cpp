#include "lazyiconengine.h"

QIcon LazyIconEngine::icon(const Files &files)
{
    return QIcon(new LazyIconEngine(files));
}

LazyIconEngine::LazyIconEngine(const Files &files)
    : m_files(files)
{
}

const QIcon &LazyIconEngine::loaded()
{
    if (m_loaded.isNull()) {
        for (const auto &[path, size] : qAsConst(m_files))
            m_loaded.addFile(path, size);
    }
    return m_loaded;
}

void LazyIconEngine::paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state)
{
    loaded().paint(painter, rect, Qt::AlignCenter, mode, state);
}

QSize LazyIconEngine::actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    return loaded().actualSize(size, mode, state);
}

QPixmap LazyIconEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    return loaded().pixmap(size, mode, state);
}

QIconEngine *LazyIconEngine::clone() const
{
    auto *copy = new LazyIconEngine(m_files);
    copy->m_loaded = m_loaded;
    return copy;
}

void LazyIconEngine::virtual_hook(int id, void *data)
{
    switch (id) {
    case AvailableSizesHook: {
        // The sizes are known without reading: the images stand for the normal, off icon.
        auto &arg = *static_cast<AvailableSizesArgument *>(data);
        arg.sizes.clear();
        if (arg.mode == QIcon::Normal && arg.state == QIcon::Off) {
            for (const auto &file : qAsConst(m_files))
                arg.sizes << file.second;
        }
        break;
    }
    case IsNullHook:
        *static_cast<bool *>(data) = m_files.isEmpty();
        break;
    default:
        QIconEngine::virtual_hook(id, data);
        break;
    }
}
