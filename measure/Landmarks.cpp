#include "measure/Landmarks.h"

namespace kestra {

bool Landmarks::IsPointMissing(std::int32_t index) const
{
    if (index < 1 || index > AuxiliaryPoint)
        return true;
    return PointX[index] == 0.0 && PointY[index] == 0.0;
}

} // namespace kestra
