// The editor's sockets and patch cables: connecting and disconnecting by dragging, the socket
// menu, and the cables' shapes, springs and redrawing.
#include "editor/TreskproEditor.h"

#include "editor/TagTable.h"
#include "editor/TreskproControls.h"
#include "toolkit/COptionMenu.h"

#include <algorithm>
#include <random>

namespace treskpro {

using namespace toolkit;

// ---- Sockets and cables

TreskproSocket* TreskproEditor::socket(int index) const {
    return index >= 0 && index < socketCount ? sockets[std::size_t(index)] : nullptr;
}

TreskproCable* TreskproEditor::cable(int index) const {
    return index >= 0 && index < cableCount ? cables[std::size_t(index)] : nullptr;
}

std::vector<std::pair<int, int>> TreskproEditor::drawableConnections() const {
    const std::vector<std::pair<int, int>> stored = host.connections();
    const int known = std::min(host.socketCount(), socketCount);
    const auto drawable = [&](const std::pair<int, int>& pair) {
        return pair.first >= 0 && pair.first < known && pair.second >= 0 && pair.second < known &&
               host.socketIsOutput(pair.first) && host.socketIsInput(pair.second);
    };
    std::vector<std::pair<int, int>> shown;
    for (std::size_t k = 0; k < stored.size() && shown.size() < std::size_t(cableCount); ++k) {
        if (!drawable(stored[k]))
            continue;
        // The last pair into an input is the one that plays; an earlier one would be a cable
        // that does nothing.
        const bool fedAgain =
            std::any_of(stored.begin() + std::ptrdiff_t(k) + 1, stored.end(),
                        [&](const std::pair<int, int>& later) {
                            return later.second == stored[k].second && drawable(later);
                        });
        if (!fedAgain)
            shown.push_back(stored[k]);
    }
    return shown;
}

CPoint TreskproEditor::socketCentre(int index) const {
    const TreskproSocket* at = socket(index);
    return at ? at->getViewSize().center() : CPoint{};
}

int TreskproEditor::socketAt(CPoint where) const {
    for (int k = 0; k < socketCount; ++k) {
        const TreskproSocket* at = sockets[std::size_t(k)];
        if (at && at->isVisible() && at->getViewSize().contains(where))
            return k;
    }
    return -1;
}

void TreskproEditor::updateCables(bool randomise) {
    if (!isOpen() || !cables[0])
        return;
    abandonCableDrag();
    const std::vector<std::pair<int, int>> shown = drawableConnections();
    std::uniform_int_distribution<int> scatter(0, 149);
    for (int k = 0; k < cableCount; ++k) {
        TreskproCable& current = *cables[std::size_t(k)];
        if (std::size_t(k) < shown.size()) {
            const auto [output, input] = shown[std::size_t(k)];
            // The cable that shows this connection already keeps showing it, swing and colour.
            int holder = -1;
            for (int j = k; j < cableCount && holder < 0; ++j) {
                const TreskproCable::State& other = cables[std::size_t(j)]->state();
                if (other.inUse && other.fromSocket == output && other.toSocket == input)
                    holder = j;
            }
            if (holder > k)
                current.swapState(*cables[std::size_t(holder)]);
            TreskproCable::State& state = current.state();
            const CPoint from = socketCentre(output);
            const CPoint to = socketCentre(input);
            const bool moved = holder < 0 || state.a != from || state.b != to;
            state.a = from;
            state.b = to;
            state.fromSocket = output;
            state.toSocket = input;
            state.inUse = true;
            state.loose = false;
            if (moved) {
                if (randomise) {
                    const float dx = float(scatter(random) - 70);
                    const float dy = float(scatter(random) + 125);
                    current.placeControlPoint(dx, dy);
                } else {
                    current.placeControlPoint();
                }
            } else {
                current.resample();
            }
            current.setVisible(gui.displayCables != 0);
        } else {
            current.state().inUse = false;
            current.state().loose = false;
            current.state().moving = false;
            current.setVisible(false);
        }
    }
    shownConnections = shown;
    CRect shownArea;
    for (TreskproCable* each : cables) {
        TreskproCable::State& state = each->state();
        state.type = skin.cableType;
        state.softShadow = gui.softShadows != 0;
        state.antiAliased = gui.antiAliasing != 0;
        state.tension = gui.cableTension;
        for (std::size_t c = 0; c < 3; ++c)
            state.tint[c] = float(skin.cableTint[c]);
        // Without the swing, a cable shows its resting shape at once.
        if (state.inUse && gui.antiAliasing == 0)
            each->animate(false);
        // The look may have changed with the settings.
        if (state.inUse && each->isVisible())
            shownArea =
                shownArea.isEmpty() ? each->getViewSize() : shownArea.united(each->getViewSize());
    }
    if (!shownArea.isEmpty())
        frame->invalidRect(
            shownArea.offset(panelView->getViewSize().left, panelView->getViewSize().top));
    redrawCables();
}

void TreskproEditor::clearSocketMarks() {
    for (TreskproSocket* each : sockets) {
        if (each) {
            each->setTarget(false);
            each->setAccepting(false);
        }
    }
}

// A drag cut short (the cables replaced under it): its cable goes, the marks with it.
void TreskproEditor::abandonCableDrag() {
    if (dragCable < 0)
        return;
    TreskproCable& dragged = *cables[std::size_t(dragCable)];
    dragged.state().inUse = false;
    dragged.state().loose = false;
    dragged.setVisible(false);
    dragCable = dragSource = -1;
    clearSocketMarks();
}

void TreskproEditor::socketChanged(int index, TreskproSocket& pressed) {
    const float value = pressed.getValue();
    const CButtonState buttons = pressed.lastButtons();
    const CPoint where = pressed.lastPoint();
    if (value <= 0.0f) {
        if (buttons.isRightButton() && !buttons.isLeftButton()) {
            if (dragCable < 0)
                openSocketMenu(index);
            return;
        }
        releaseCable();
        return;
    }
    if (socketPressSpent)
        return;
    if (buttons.isShift() && dragCable < 0) {
        host.disconnectAll(index);
        socketPressSpent = true;
        updateCables(false);
        return;
    }
    if (!gui.displayCables) {
        releaseCable();
        return;
    }
    const bool showNames = gui.floatingDisplay && display && !host.midiLearnActive();
    if (value == 1.0f && showNames) {
        display->showUnder(pressed.getViewSize(), pressed.getName(), "");
        displayShownAt = now();
        displayShown = true;
        shownParameter = -1;
    }
    if (dragCable < 0)
        startCableDrag(index, where);
    if (dragCable < 0)
        return;

    for (int k = 0; k < socketCount; ++k)
        if (TreskproSocket* each = sockets[std::size_t(k)])
            each->setAccepting(each->isVisible() && host.canConnect(dragSource, k));
    const int hovered = socketAt(where);
    const int target = hovered >= 0 && sockets[std::size_t(hovered)]->isAccepting() ? hovered : -1;
    for (int k = 0; k < socketCount; ++k)
        if (TreskproSocket* each = sockets[std::size_t(k)])
            each->setTarget(k == target);
    TreskproCable& dragged = *cables[std::size_t(dragCable)];
    TreskproCable::State& state = dragged.state();
    state.loose = target < 0;
    state.b = target >= 0 ? socketCentre(target) : where;
    if (target >= 0 && showNames) {
        display->showUnder(sockets[std::size_t(target)]->getViewSize(),
                           sockets[std::size_t(dragSource)]->getName(),
                           sockets[std::size_t(target)]->getName());
        displayShownAt = now();
        displayShown = true;
        shownParameter = -1;
    }
    dragged.resample();
    redrawCables();
}

// A press on a free socket draws a new cable out of it. A press on a connected socket pulls
// out the plug of the cable on top (the one connected last, for an output with several): the
// connection goes at once and the cable hangs from its other end, to be plugged in elsewhere.
void TreskproEditor::startCableDrag(int index, CPoint where) {
    int picked = -1;
    for (int k = cableCount - 1; k >= 0 && picked < 0; --k) {
        const TreskproCable::State& state = cables[std::size_t(k)]->state();
        if (state.inUse && (state.fromSocket == index || state.toSocket == index))
            picked = k;
    }
    if (picked >= 0) {
        TreskproCable& taken = *cables[std::size_t(picked)];
        TreskproCable::State& state = taken.state();
        const int partner = state.fromSocket == index ? state.toSocket : state.fromSocket;
        host.disconnect(state.fromSocket, state.toSocket);
        state.a = socketCentre(partner);
        state.b = where;
        state.fromSocket = partner;
        state.toSocket = -1;
        state.loose = true;
        dragSource = partner;
        dragCable = picked;
        return;
    }
    for (int k = 0; k < cableCount; ++k) {
        TreskproCable& free = *cables[std::size_t(k)];
        TreskproCable::State& state = free.state();
        if (state.inUse)
            continue;
        state.inUse = true;
        state.loose = true;
        state.a = socketCentre(index);
        state.b = where;
        state.fromSocket = index;
        state.toSocket = -1;
        free.placeControlPoint();
        free.setVisible(true);
        dragSource = index;
        dragCable = k;
        return;
    }
}

void TreskproEditor::releaseCable() {
    int target = -1;
    for (int k = 0; k < socketCount; ++k)
        if (sockets[std::size_t(k)] && sockets[std::size_t(k)]->isTarget())
            target = k;
    clearSocketMarks();
    socketPressSpent = false;
    if (dragCable < 0)
        return;
    TreskproCable& dragged = *cables[std::size_t(dragCable)];
    TreskproCable::State& state = dragged.state();
    if (target >= 0) {
        // A cable always starts at its output.
        const bool sourceIsInput = host.socketIsInput(dragSource);
        const int output = sourceIsInput ? target : dragSource;
        const int input = sourceIsInput ? dragSource : target;
        state.a = socketCentre(output);
        state.b = socketCentre(input);
        state.fromSocket = output;
        state.toSocket = input;
        state.loose = false;
        dragged.animate(false);
        host.connect(output, input);
    } else {
        state.inUse = false;
        state.loose = false;
        dragged.setVisible(false);
    }
    dragCable = dragSource = -1;
    updateCables(false);
}

void TreskproEditor::openSocketMenu(int index) {
    if (!socketMenu)
        return;
    const std::vector<std::pair<int, int>> shown = drawableConnections();
    socketMenu->removeAllEntry();
    socketMenu->addEntry("Disconnect");
    socketMenu->addEntry("-");
    socketMenu->addEntry("-G" + host.socketName(index) + "\t" +
                         (host.socketIsInput(index) ? "<---" : "--->"));
    socketMenu->addEntry("-");
    for (int k = 0; k < socketCount; ++k) {
        const bool connected =
            std::any_of(shown.begin(), shown.end(), [&](const std::pair<int, int>& pair) {
                return (pair.first == index && pair.second == k) ||
                       (pair.first == k && pair.second == index);
            });
        socketMenu->addEntry((host.canConnect(index, k) ? "" : "-G") + host.socketName(k) +
                             (connected ? "\t*" : ""));
    }
    socketMenu->setViewSize(sockets[std::size_t(index)]->getViewSize());
    menuSocket = index;
    socketMenu->popup();
    menuSocket = -1;
}

void TreskproEditor::socketMenuChosen(int choice) {
    if (menuSocket < 0)
        return;
    constexpr int firstSocketEntry = 4;
    if (choice == 0)
        host.disconnectAll(menuSocket);
    else if (choice >= firstSocketEntry && choice < firstSocketEntry + socketCount)
        host.connect(menuSocket, choice - firstSocketEntry);
    else
        return;
    updateCables(false);
}

// Every cable that changed is redrawn in one area: their shapes overlap, and the frame redraws
// each area it is given from the background up.
void TreskproEditor::redrawCables() {
    if (!panelView || !frame)
        return;
    CRect area;
    for (TreskproCable* each : cables) {
        const CRect changed = each->takeDirtyArea();
        if (!changed.isEmpty())
            area = area.isEmpty() ? changed : area.united(changed);
    }
    if (!area.isEmpty()) {
        const CRect panelArea = panelView->getViewSize();
        frame->invalidRect(area.offset(panelArea.left, panelArea.top));
    }
}

CPoint TreskproEditor::windowPosition() const {
    const CPlatformWindow* window = frame ? frame->getWindow() : nullptr;
    return window ? window->frameToScreen({0, 0}) : CPoint{};
}

// The spring runs with the time since the last idle (a long pause counts as a short one), and a
// window being moved swings the cables by a random share of its movement.
void TreskproEditor::animateCables(double elapsedMilliseconds) {
    if (!cables[0])
        return;
    const float step = float(std::clamp(elapsedMilliseconds * 0.007, 0.0, 0.9));
    const bool animating = gui.antiAliasing != 0 || dragCable >= 0;
    const CPoint position = windowPosition();
    const int dx = position.x - lastWindowPosition.x;
    const int dy = position.y - lastWindowPosition.y;
    lastWindowPosition = position;
    std::uniform_int_distribution<int> share(0, 19);
    for (TreskproCable* each : cables) {
        TreskproCable::State& state = each->state();
        if (!state.inUse)
            continue;
        state.step = step;
        if (gui.antiAliasing != 0 && (dx != 0 || dy != 0)) {
            state.qx -= float(dx * share(random)) / 20.0f;
            state.qy -= float(dy * share(random)) / 20.0f;
        }
        each->animate(animating);
    }
    redrawCables();
}

} // namespace treskpro
