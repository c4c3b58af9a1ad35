#error "ipc/, appcore/ and device/ link Qt Core only: Qt Widgets headers are not allowed here"
