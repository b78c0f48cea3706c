#include "platform/CurlSupport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <curl/curl.h>

#include <mutex>

namespace CurlSupport {

void initialise()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void pumpWindowMessages()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace CurlSupport
