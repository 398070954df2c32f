#include "viewer/MediaPlayback.h"

#include "platform/FileDescriptor.h"
#include "viewer/MovieProbe.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QMovie>

#include <memory>

namespace shoebox::media {

namespace {

constexpr const char* damaged = QT_TRANSLATE_NOOP("ImageView", "unsupported or damaged video");

// `why`: translated, or the player's own words.
QString cantPlay(const QString& name, const QString& why)
{
    return QCoreApplication::translate("ImageView", "Can’t play “%1”: %2").arg(name, why);
}

QString cantPlay(const QString& name, const char* why)
{
    return cantPlay(name, QCoreApplication::translate("ImageView", why));
}

} // namespace

void MediaPlayback::playAnimation(const QByteArray& file, QSize scaledSize, std::function<void()> frameChanged)
{
    stop();
    movieBuffer_ = new QBuffer(context_);
    movieBuffer_->setData(file);
    movieBuffer_->open(QIODevice::ReadOnly);
    movie_ = new QMovie(movieBuffer_, QByteArray(), context_);
    movie_->setCacheMode(QMovie::CacheNone);
    movie_->setScaledSize(scaledSize);
    QObject::connect(movie_, &QMovie::frameChanged, context_, [f = std::move(frameChanged)] { f(); });
    movie_->start();
}

std::expected<void, QString> MediaPlayback::playVideo(const std::string& path, const QString& name,
                                                      VideoSource::Handlers handlers)
{
    stop();
    // Opened here, by its raw bytes, and handed to the player as
    // /proc/self/fd/N: names that are not UTF-8 survive, and a FIFO that
    // looks like a video is refused before any backend blocks on it.
    RegularFile file;
    if (const int error = openRegularFile(path, file))
        return std::unexpected(imaging::problemText(imaging::problemForErrno(error), name));
    if (!movieLooksComplete(file.fd.get(), file.status.st_size))
        return std::unexpected(cantPlay(name, damaged));
    // The player's reason, or none for a file it makes no sense of, in the
    // sentence the view shows.
    if (auto failed = std::move(handlers.failed)) {
        handlers.failed = [failed = std::move(failed), name](const QString& why) {
            failed(why.isEmpty() ? cantPlay(name, damaged) : cantPlay(name, why));
        };
    }
    video_ = createVideoSource(std::move(handlers), context_);
    if (!video_)
        return std::unexpected(cantPlay(name, QT_TRANSLATE_NOOP("ImageView", "video support is not installed")));
    // The backend opens its own descriptor from the /proc path; ours stays
    // open until the player is gone, so the number cannot be reused early.
    const int fd = file.fd.get();
    auto owned = std::make_shared<UniqueFd>(std::move(file.fd));
    QObject::connect(video_, &QObject::destroyed, [owned] { owned->reset(); });
    if (!video_->isAvailable()) {
        stop();
        return std::unexpected(cantPlay(name, QT_TRANSLATE_NOOP("ImageView", "no video decoder is available")));
    }
    video_->play(QUrl::fromLocalFile(QStringLiteral("/proc/self/fd/%1").arg(fd)));
    return {};
}

void MediaPlayback::stop()
{
    if (movie_) {
        movie_->disconnect(context_);
        movie_->stop();
        delete movie_;
        movie_ = nullptr;
    }
    delete movieBuffer_;
    movieBuffer_ = nullptr;
    if (video_) {
        video_->detach();
        // Tearing a pipeline down can take a while; let it happen after
        // the next picture is on screen.
        video_->deleteLater();
        video_ = nullptr;
    }
}

QImage MediaPlayback::currentFrame() const
{
    if (movie_)
        return movie_->currentImage();
    if (video_)
        return video_->currentImage();
    return {};
}

} // namespace shoebox::media
