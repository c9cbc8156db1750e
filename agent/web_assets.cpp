// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent/web_assets.h"

#include <QFile>
#include <QHttpServer>
#include <QJsonObject>

namespace kelvandor::agent {

namespace {

using Status = QHttpServerResponse::StatusCode;
using Method = QHttpServerRequest::Method;

// Where the resources of agent/web are.
constexpr char ResourceRoot[] = ":/kelvandor/web/";

struct Asset {
    const char* name;
    const char* type;
};
// Every file the page may load: nothing else under /assets is answered.
constexpr Asset Assets[] = {
    {"index.html", "text/html; charset=utf-8"},
    {"app.css", "text/css; charset=utf-8"},
    {"app.js", "text/javascript; charset=utf-8"},
    {"icon.svg", "image/svg+xml"},
};

constexpr char SecurityPolicy[] =
    "default-src 'self'; img-src 'self' data:; object-src 'none'; base-uri 'none'; "
    "form-action 'none'; frame-ancestors 'none'";

QHttpServerResponse serve(const QString& name, const QHttpServerRequest& request) {
    if (request.method() != Method::Get && request.method() != Method::Head) {
        QHttpServerResponse response(QJsonObject{{"error", "method not allowed"}},
                                     Status::MethodNotAllowed);
        response.setHeader("Allow", "GET, HEAD");
        return response;
    }
    for (const Asset& asset : Assets) {
        if (name != QLatin1String(asset.name)) {
            continue;
        }
        QFile file(QLatin1String(ResourceRoot) + name);
        if (!file.open(QIODevice::ReadOnly)) {
            break;
        }
        QHttpServerResponse response(asset.type, file.readAll());
        response.setHeader("Content-Security-Policy", SecurityPolicy);
        response.setHeader("X-Content-Type-Options", "nosniff");
        // The files change with the program: a browser asks again rather than keep an old one.
        response.setHeader("Cache-Control", "no-cache");
        return response;
    }
    return QHttpServerResponse(QJsonObject{{"error", "not found"}}, Status::NotFound);
}

}  // namespace

void addWebAssetRoutes(QHttpServer& server) {
    server.route("/", [](const QHttpServerRequest& request) {
        return serve(QStringLiteral("index.html"), request);
    });
    server.route("/assets/<arg>", [](const QString& name, const QHttpServerRequest& request) {
        return serve(name, request);
    });
}

}  // namespace kelvandor::agent
