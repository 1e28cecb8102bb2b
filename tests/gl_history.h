// Sends `count` vertices that draw nothing: the driver's immediate-mode
// vertex buffer is then filled to some other point when the next frame starts,
// as after any other history of frames.
#pragma once

#include <GL/gl.h>

inline void send_unseen_vertices(int count)
{
    glBegin(GL_POINTS);
    for (int i = 0; i < count; ++i) {
        glNormal3f(0.0f, 0.0f, 1.0f);
        glVertex3f(1e6f, 1e6f, 1e6f);
    }
    glEnd();
}
