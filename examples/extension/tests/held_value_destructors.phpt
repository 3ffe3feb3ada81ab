--TEST--
A destructor that reads the held value while it is let go or replaced sees null or the new value
--FILE--
<?php
class Noisy {
    public $name;
    public function __construct($name) { $this->name = $name; }
    public function __destruct() {
        echo "destruct {$this->name} sees ";
        var_dump(corvane_held());
    }
}
var_dump(corvane_held());

corvane_hold([new Noisy("first")]);
corvane_release_held();
echo "released\n";
var_dump(corvane_held());

corvane_hold([new Noisy("second")]);
corvane_hold("replacement");
echo "replaced\n";
var_dump(corvane_held());

// The held array is the extension's own: changing the caller's copy changes nothing held.
$list = ["x" => 1];
corvane_hold($list);
$list["y"] = 2;
$copy = corvane_held();
$copy["z"] = 3;
var_dump(corvane_held());

// Still held when the script ends: the engine calls the destructor, RSHUTDOWN lets the array go.
corvane_hold([new Noisy("last")]);
echo "end\n";
?>
--EXPECT--
NULL
destruct first sees NULL
released
NULL
destruct second sees string(11) "replacement"
replaced
string(11) "replacement"
array(1) {
  ["x"]=>
  int(1)
}
end
destruct last sees array(1) {
  [0]=>
  object(Noisy)#1 (1) {
    ["name"]=>
    string(4) "last"
  }
}
