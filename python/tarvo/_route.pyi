import numpy as np
import numpy.typing as npt

def smart_route(arr: npt.NDArray[np.int64], /) -> str: ...
