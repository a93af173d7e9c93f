#include "filesafety/prheifimage.h"

#include <QIODevice>

#include <libheif/heif.h>

#include <memory>
#include <vector>

namespace PRHeifImage {

namespace {

struct ContextFree
{
    void operator()(heif_context *context) const { heif_context_free(context); }
};
struct HandleRelease
{
    void operator()(heif_image_handle *handle) const { heif_image_handle_release(handle); }
};
struct ImageRelease
{
    void operator()(heif_image *image) const { heif_image_release(image); }
};
struct OptionsFree
{
    void operator()(heif_decoding_options *options) const { heif_decoding_options_free(options); }
};
using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;
using Image = std::unique_ptr<heif_image, ImageRelease>;

bool sizeAllowed(const heif_image_handle *handle)
{
    const qint64 width = heif_image_handle_get_width(handle);
    const qint64 height = heif_image_handle_get_height(handle);
    return width > 0 && height > 0 && width * height <= kMaxPixels;
}

// The smallest embedded thumbnail that still fills maxPixelSize: decoding it
// instead of the whole picture is many times faster.
Handle thumbnailOf(heif_image_handle *primary, int maxPixelSize)
{
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (maxPixelSize <= 0 || count <= 0 || count > 64)
        return {};
    std::vector<heif_item_id> ids(std::size_t(count), 0);
    const int listed = heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    Handle best;
    qint64 bestPixels = 0;
    for (int i = 0; i < listed; ++i) {
        heif_image_handle *raw = nullptr;
        if (heif_image_handle_get_thumbnail(primary, ids[std::size_t(i)], &raw).code != heif_error_Ok || !raw)
            continue;
        Handle candidate(raw);
        const int width = heif_image_handle_get_width(raw);
        const int height = heif_image_handle_get_height(raw);
        const qint64 pixels = qint64(width) * height;
        if (std::max(width, height) < maxPixelSize || !sizeAllowed(raw))
            continue;
        if (!best || pixels < bestPixels) {
            best = std::move(candidate);
            bestPixels = pixels;
        }
    }
    return best;
}

QImage decode(heif_image_handle *handle)
{
    if (!sizeAllowed(handle))
        return {};
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    heif_image *raw = nullptr;
    const heif_error error = heif_decode_image(handle, &raw, heif_colorspace_RGB,
                                               alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                                               options.get());
    Image image(raw);
    if (error.code != heif_error_Ok || !raw)
        return {};
    int stride = 0;
    const uint8_t *plane = heif_image_get_plane_readonly(raw, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(raw, heif_channel_interleaved);
    const int height = heif_image_get_height(raw, heif_channel_interleaved);
    if (!plane || width <= 0 || height <= 0 || stride < width * (alpha ? 4 : 3))
        return {};
    // The plane belongs to the decoded image: copied before it is released.
    const QImage view(plane, width, height, stride, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    return view.copy();
}

} // namespace

bool isHeif(const QByteArray &head)
{
    if (head.size() < 12)
        return false;
    const auto result = heif_check_filetype(reinterpret_cast<const uint8_t *>(head.constData()), int(head.size()));
    return result == heif_filetype_yes_supported;
}

QImage fromData(const QByteArray &bytes, int maxPixelSize)
{
    if (!isHeif(bytes.left(64)) || bytes.size() > kMaxFileBytes)
        return {};
    Context context(heif_context_alloc());
    if (!context)
        return {};
    // The bytes outlive the context: read without a copy.
    if (heif_context_read_from_memory_without_copy(context.get(), bytes.constData(), size_t(bytes.size()), nullptr).code
        != heif_error_Ok)
        return {};
    heif_image_handle *raw = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &raw).code != heif_error_Ok || !raw)
        return {};
    const Handle primary(raw);
    QImage image;
    if (const Handle thumbnail = thumbnailOf(primary.get(), maxPixelSize))
        image = decode(thumbnail.get());
    if (image.isNull())
        image = decode(primary.get());
    if (image.isNull())
        return {};
    if (maxPixelSize > 0 && (image.width() > maxPixelSize || image.height() > maxPixelSize))
        image = image.scaled(maxPixelSize, maxPixelSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

QImage read(QIODevice *device, int maxPixelSize)
{
    if (!device || !device->isReadable())
        return {};
    // Capped on the bytes read, not on the size a file claims.
    const QByteArray bytes = device->read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes)
        return {};
    return fromData(bytes, maxPixelSize);
}

} // namespace PRHeifImage
