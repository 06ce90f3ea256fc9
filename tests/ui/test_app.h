#pragma once
// One QApplication for the whole test program, on Qt's offscreen platform so no screen is needed.

class QApplication;

QApplication& testApp();
