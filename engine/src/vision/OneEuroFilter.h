#pragma once
// One-Euro filter (Casiez et al., CHI 2012): a low-pass filter whose cutoff
// rises with speed, so a still landmark stops jittering while a moving one
// does not lag. `speedScale` divides the speed before it raises the cutoff
// (the tracker passes the face width, making the filter independent of how
// large the face is in the picture).

#include <cmath>

namespace velvix::vision {

class OneEuroFilter {
public:
    OneEuroFilter() = default;
    OneEuroFilter(double minCutoff, double beta, double derivativeCutoff = 1.0)
        : m_minCutoff(minCutoff), m_beta(beta), m_dCutoff(derivativeCutoff) {}

    double filter(double x, double dt, double speedScale = 1.0)
    {
        if (!m_initialised || !(dt > 0)) {
            m_initialised = true;
            m_x = x;
            m_dx = 0;
            return x;
        }
        const double dx = (x - m_x) / dt;
        m_dx += alpha(m_dCutoff, dt) * (dx - m_dx);
        const double cutoff = m_minCutoff + m_beta * std::abs(m_dx) / speedScale;
        m_x += alpha(cutoff, dt) * (x - m_x);
        return m_x;
    }
    void reset() { m_initialised = false; }

private:
    static double alpha(double cutoff, double dt)
    {
        const double tau = 1.0 / (2.0 * M_PI * cutoff);
        return 1.0 / (1.0 + tau / dt);
    }

    double m_minCutoff = 1.0, m_beta = 0.0, m_dCutoff = 1.0;
    bool m_initialised = false;
    double m_x = 0, m_dx = 0;
};

}  // namespace velvix::vision
