// The widget toolkit: everything the editor is built from, and nothing of the plug-in.
//
// A CFrame owns a tree of views (CView, CViewContainer, the CControl family) and a 32-bit
// off-screen buffer (CBitmap, premultiplied alpha). User input comes from a window backend
// (CPlatformWindow: Win32, X11, or headless for tests) into the frame, which passes presses to the
// topmost view under the pointer and keys to the focused view. Controls change their value and
// tell their CControlListener; anything that changes marks its area, and CFrame::idle() redraws
// the marked areas through a CDrawContext and hands them to the window. Menus, message boxes and
// file dialogs go through CPlatformDialogs (Win32, X11, or scripted). Text is drawn from glyph maps
// made at build time, so it needs no system font.
#pragma once

#include "toolkit/CBitmap.h"
#include "toolkit/CColor.h"
#include "toolkit/CControl.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CEvents.h"
#include "toolkit/CFont.h"
#include "toolkit/CFrame.h"
#include "toolkit/CHeadlessWindow.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/CParamDisplay.h"
#include "toolkit/CPlatformDialogs.h"
#include "toolkit/CPlatformWindow.h"
#include "toolkit/CRect.h"
#include "toolkit/CScriptedDialogs.h"
#include "toolkit/CStockControls.h"
#include "toolkit/CTextEdit.h"
#include "toolkit/CView.h"
#include "toolkit/CViewContainer.h"
