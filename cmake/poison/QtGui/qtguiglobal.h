#error "ipc/, appcore/ and device/ link Qt Core only: Qt Gui headers are not allowed here"
