// The answer codes of the modal questions, shared by the engine and the window.
#pragma once

namespace vantrel {

constexpr int mrNone = 0;
constexpr int mrCancel = 2;
constexpr int mrYes = 6;
constexpr int mrNo = 7;
constexpr int mrNoToAll = 9;
constexpr int mrYesToAll = 10;

}  // namespace vantrel
