#include "HttpUpload.h"

#include <QFile>
#include <QFileInfo>

#include <curl/curl.h>

#include <algorithm>
#include <mutex>

namespace {

void GlobalInitOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The camera's answer is not looked at; it is only drained.
size_t Discard(char*, size_t size, size_t count, void*)
{
    return size * count;
}

// libcurl calls this often while data flow, and about once a second while the camera is
// silent (connecting, or flashing before it answers): that is how soon an abort is seen.
int Progress(void* data, curl_off_t, curl_off_t, curl_off_t ultotal, curl_off_t ulnow)
{
    const TFirmwarePost& post = *static_cast<const TFirmwarePost*>(data);
    if (post.abort && post.abort->load())
        return 1;
    if (post.progress)
        post.progress(qint64(ulnow), qint64(ultotal));
    return 0;
}

}  // namespace

bool PostFirmware(const TFirmwarePost& post)
{
    {
        QFile probe(post.filePath);
        if (!QFileInfo(post.filePath).isFile() || !probe.open(QIODevice::ReadOnly))
            return false;
    }
    GlobalInitOnce();
    CURL* easy = curl_easy_init();
    if (!easy)
        return false;

    const QByteArray url = post.url.toUtf8();
    const QByteArray path = QFile::encodeName(post.filePath);
    const QByteArray fileName = QFileInfo(post.filePath).fileName().toUtf8();
    const QByteArray user = post.user.toUtf8();
    const QByteArray password = post.password.toUtf8();

    curl_mime* mime = curl_mime_init(easy);
    curl_mimepart* part = curl_mime_addpart(mime);
    curl_mime_name(part, "file");
    curl_mime_filedata(part, path.constData());
    curl_mime_filename(part, fileName.constData());
    curl_mime_type(part, post.partType.constData());

    curl_slist* headers = nullptr;
    const QByteArray accept = "Accept: " + post.accept;
    headers = curl_slist_append(headers, accept.constData());
    // Camera web servers do not answer "100 Continue"; the body follows the head at once.
    headers = curl_slist_append(headers, "Expect:");

    const long seconds = std::max(1L, long((post.timeoutMs + 999) / 1000));
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_MIMEPOST, mime);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    if (!post.acceptEncoding.isEmpty())
        curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, post.acceptEncoding.constData());
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");  // cookies on, kept for this request only
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(post.timeoutMs));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, seconds);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Discard);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, const_cast<TFirmwarePost*>(&post));
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    if (!post.user.isEmpty()) {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
        curl_easy_setopt(easy, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, password.constData());
    }

    const CURLcode result = curl_easy_perform(easy);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);

    curl_easy_cleanup(easy);
    curl_mime_free(mime);
    curl_slist_free_all(headers);
    return result == CURLE_OK && status > 0 && status < 400;
}
