import QtQuick

// The place of one page of the content area, the page itself its delegate. The page is
// built the first time it comes into view and kept from then on: the window starts with
// the page it shows, and a form keeps what was typed while the user looks elsewhere. A
// page not yet built misses no reply it needs, since it asks for its data as it is built.
// A repeater of one, since Qt does not build a bound component in a loader's context.
Repeater {
    required property bool inView
    property bool built: false
    model: inView || built ? 1 : 0
    onInViewChanged: if (inView) built = true
}
