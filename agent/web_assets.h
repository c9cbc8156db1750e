// SPDX-License-Identifier: GPL-3.0-or-later
// The dashboard the agent serves to browsers: its page, style sheet and script, built into
// the program as Qt resources (no network needed to show it, as on a boat at sea).
//
//   GET /               the page
//   GET /assets/FILE    its style sheet, script and icon
//
// Each answer carries its content type and a content security policy that lets the page
// load only from the agent itself.
#pragma once

class QHttpServer;

namespace kelvandor::agent {

// Adds the page's routes to `server`.
void addWebAssetRoutes(QHttpServer& server);

}  // namespace kelvandor::agent
