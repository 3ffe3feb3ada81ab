--TEST--
C++ code names the PHP class it raises: PHP's Error kinds and the extension's own class, with the message
--FILE--
<?php
foreach (["Error", "TypeError", "ArgumentCountError", "CorvaneExampleException", "Throwable", "NoSuchClass"] as $class) {
    try {
        corvane_raise($class, "raised as $class");
        echo "nothing raised\n";
    } catch (Throwable $e) {
        echo get_class($e), ": ", $e->getMessage(), "\n";
        var_dump($e instanceof Error, $e instanceof Exception);
    }
}
// The extension's class is an Exception of its own: caught as one, and by its name.
try {
    corvane_raise("CorvaneExampleException", "by name");
} catch (CorvaneExampleException $e) {
    echo "caught ", $e->getMessage(), "\n";
}
?>
--EXPECT--
Error: raised as Error
bool(true)
bool(false)
TypeError: raised as TypeError
bool(true)
bool(false)
ArgumentCountError: raised as ArgumentCountError
bool(true)
bool(false)
CorvaneExampleException: raised as CorvaneExampleException
bool(false)
bool(true)
Exception: raised as Throwable
bool(false)
bool(true)
Exception: corvane_raise(): no such class: NoSuchClass
bool(false)
bool(true)
caught by name
