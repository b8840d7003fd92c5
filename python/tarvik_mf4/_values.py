"""Value types of the interface (VARTYPE codes) and what numpy makes of them."""
import numpy as np

NUMBER_DTYPES = {
    16: np.dtype(np.int8), 17: np.dtype(np.uint8), 2: np.dtype(np.int16),
    18: np.dtype(np.uint16), 3: np.dtype(np.int32), 19: np.dtype(np.uint32),
    20: np.dtype(np.int64), 21: np.dtype(np.uint64), 4: np.dtype(np.float32),
    5: np.dtype(np.float64),
}
VALUE_TYPES = {dtype: code for code, dtype in NUMBER_DTYPES.items()}
TEXT8, TEXT16, BYTES = 30, 31, 36
VARIABLE_LENGTH = 1  # channelType of values kept outside the records

CONVERSION_KINDS = {0: "identity", 1: "linear", 2: "rational", 3: "algebraic",
                    4: "table with interpolation", 5: "table", 7: "value to text",
                    8: "range to text", 9: "unsupported"}
YIELDS = {0: "numbers", 1: "texts", 2: "status texts"}
EVENT_TYPES = {0: "recording", 1: "recording interrupt", 2: "acquisition interrupt",
               3: "start recording trigger", 4: "stop recording trigger", 5: "trigger",
               6: "marker"}
RANGE_TYPES = {0: "point", 1: "begin", 2: "end"}
CAUSES = {0: "other", 1: "error", 2: "tool", 3: "script", 4: "user"}
METHODS = {"minmax": 0, "min": 1, "max": 2, "mean": 3}


def kind_of(value_type, child_count=0):
    if child_count:
        return "structure"
    if value_type in NUMBER_DTYPES:
        return "float" if value_type in (4, 5) else "integer"
    if value_type in (TEXT8, TEXT16):
        return "string"
    if value_type == BYTES:
        return "bytes"
    return "unknown"


def property_value(type_code, text):
    """A property's text as the Python value its type names; the text when it does not parse."""
    if text is None:
        return None
    try:
        if type_code in (2, 3, 16, 17, 18, 19, 20, 21):
            return int(text)
        if type_code in (4, 5):
            return float(text)
        if type_code == 11:
            return text.strip().lower() in ("true", "1")
    except ValueError:
        pass
    return text
