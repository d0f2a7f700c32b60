#include "platform/linux/atspi/AtspiKeyEvent.h"

#include "platform/linux/atspi/DBusWriter.h"

namespace platform::linux::atspi {

DBusMessage AtspiKeyEvent::NotifyListenersCall() const
{
    DBusMessage call = DBusMessage::MethodCall("org.a11y.atspi.Registry", "/org/a11y/atspi/registry/deviceeventcontroller",
        "org.a11y.atspi.DeviceEventController", "NotifyListenersSync");
    // The registry takes the device event with 16-bit code and modifiers, whatever its
    // introspection data says.
    call.signature = "(uinnisb)";
    DBusWriter writer;
    writer.BeginStruct();
    writer.Uint32(pressed ? 0 : 1); // KEY_PRESSED_EVENT, KEY_RELEASED_EVENT
    writer.Int32(static_cast<std::int32_t>(keysym));
    writer.Int16(static_cast<std::int16_t>(keycode));
    writer.Int16(static_cast<std::int16_t>(modifiers));
    writer.Int32(static_cast<std::int32_t>(time));
    writer.String(text);
    writer.Boolean(!text.empty());
    call.bytes = writer.Take();
    return call;
}

} // namespace platform::linux::atspi
